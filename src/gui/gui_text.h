// The window's texts: the program's catalogue gives them in the user's language, as UTF-8, made into QString;
// Q and S carry the core's UTF-8 strings into Qt and back.
#pragma once

#include <QString>
#include <string>

#include "i18n/translate.h"

namespace tarvex::gui {

inline QString QTr(const char* english) { return QString::fromUtf8(Tr(english)); }
inline QString QTrIn(const char* context, const char* english) { return QString::fromUtf8(TrIn(context, english)); }

inline QString Q(const std::string& s) { return QString::fromStdString(s); }
inline std::string S(const QString& s) { return s.toStdString(); }

}  // namespace tarvex::gui
