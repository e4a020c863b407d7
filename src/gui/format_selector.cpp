// The target-format selector (`cb`) and the add dialog's filter.
#include "gui/format_selector.h"

#include <QStandardItemModel>

#include "app/format_table.h"
#include "gui/gui_text.h"
#include "gui/main_window.h"

namespace tarvex::gui {

QStringList FormatSelectorItems() {
    return {
        QTr("Universal disk image (*.udi)"),    QTr("TR-DOS disk image (*.trd)"),
        QTr("TeleDisk disk image (*.td0)"),     QTr("Full disk image (*.fdi)"),
        QTr("CP/M Profi sector image (*.pro)"), QTr("Compact TR-DOS disk image (*.scl)"),
        QTr("Korvet disk image (*.kdi)"),       QTr("HxC floppy image (*.hfe)"),
        QTr("Amstrad CPC / Spectrum +3 disk image (*.dsk)"),
    };
}

// Each format that can be read, by its name and pattern in the selector's order, then all patterns at once,
// then every file (a renamed image is added by its content).
QString AddDialogFilter() {
    const QStringList names = FormatSelectorItems();
    QString filter;
    for (int i = 0; i < kFormatCount; ++i)
        if (Formats()[i].Present()) filter += names[i] + "|*" + QLatin1String(Formats()[i].extension) + "|";
    return filter + QTr("Supported formats (%1)").arg("*.udi,*.trd,*.td0,*.fdi,*.pro,*.scl,*.kdi,*.hfe,*.dsk") +
           "|*.fdi;*.trd;*.udi;*.td0;*.pro;*.scl;*.kdi;*.hfe;*.dsk|" + QTr("All files") + "|*";
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
