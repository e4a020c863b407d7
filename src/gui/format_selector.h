// The window's words for the formats, all taken from the format table (app/format_table.h) in the user's
// language: the target-format selector's items and the add dialog's filter.
#pragma once

#include <QString>
#include <QStringList>

namespace tarvex::gui {

// The selector texts in the user's language, one per format in target-format order.
QStringList FormatSelectorItems();
// The add dialog's filter: description|pattern pairs.
QString AddDialogFilter();

}  // namespace tarvex::gui
