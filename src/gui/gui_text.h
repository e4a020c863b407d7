// The window's texts: the program's catalogue gives them in the user's language, as UTF-8, made into QString.
#pragma once

#include <QString>

#include "i18n/translate.h"

namespace tarvex::gui {

inline QString QTr(const char* english) { return QString::fromUtf8(Tr(english)); }
inline QString QTrIn(const char* context, const char* english) { return QString::fromUtf8(TrIn(context, english)); }

}  // namespace tarvex::gui
