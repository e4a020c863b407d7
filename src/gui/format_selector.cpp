// The target-format selector (`cb`) and the add dialog's filter, built from the format table: each format's
// description, translated, and its extension as a pattern.
#include "gui/format_selector.h"

#include <QStandardItemModel>
#include <array>

#include "app/format_table.h"
#include "gui/gui_text.h"
#include "gui/main_window.h"

namespace tarvex::gui {

namespace {

QString Pattern(const FormatInfo& format) { return "*" + QLatin1String(format.extension); }

// The all-formats pattern has always named these first; the other formats follow in table order.
constexpr std::array kFirstInAllFormatsPattern = {kFDI, kTRD, kUDI};

// Every format that can be read, in table order.
QStringList ReadablePatterns() {
    QStringList patterns;
    for (const FormatInfo& format : Formats())
        if (format.Present()) patterns << Pattern(format);
    return patterns;
}

QString AllFormatsPattern() {
    QStringList patterns;
    for (const FormatIndex first : kFirstInAllFormatsPattern)
        if (Formats()[first].Present()) patterns << Pattern(Formats()[first]);
    for (const QString& pattern : ReadablePatterns())
        if (!patterns.contains(pattern)) patterns << pattern;
    return patterns.join(u';');
}

}  // namespace

QStringList FormatSelectorItems() {
    QStringList items;
    for (const FormatInfo& format : Formats()) items << QTr(format.description);
    return items;
}

// Each format that can be read, by its name and pattern in the selector's order, then all patterns at once,
// then every file (a renamed image is added by its content).
QString AddDialogFilter() {
    QString filter;
    for (const FormatInfo& format : Formats())
        if (format.Present()) filter += QTr(format.description) + "|" + Pattern(format) + "|";
    return filter + QTr("Supported formats (%1)").arg(ReadablePatterns().join(u',')) + "|" + AllFormatsPattern() + "|" +
           QTr("All files") + "|*";
}

// Every format has its item, so that an item's index is its format's; one the table lacks a reader for is greyed.
void TFMain::FillFormatSelector() {
    cb->clear();
    cb->addItems(FormatSelectorItems());
    if (auto* items = qobject_cast<QStandardItemModel*>(cb->model()))
        for (int i = 0; i < cb->count() && i < kFormatCount; ++i) items->item(i)->setEnabled(Formats()[i].Present());
    cb->setCurrentIndex(0);
}

void TFMain::cbChange() {
    SaveSetting([&] { asd.WriteInteger("Type", cb->currentIndex()); });
}

}  // namespace tarvex::gui
