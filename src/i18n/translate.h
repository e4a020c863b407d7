// User-facing texts are written in English in the code and looked up, when shown, in the program's message
// catalogue for the user's language (GNU gettext). Tr("...") translates a text where it is used; TrMark("...")
// only marks a text kept in a constant, which is then translated with Tr(constant) where it is shown.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace tarvex {

// The catalogue's name: share/locale/<language>/LC_MESSAGES/tarvex.mo.
inline constexpr const char* kTextDomain = "tarvex";

// The text in the user's language; the English text itself when the catalogue has none.
std::string Tr(const char* english);

// The same for a text whose translation depends on where it is shown (two places, one English text).
std::string TrIn(const char* context, const char* english);

// Marks a text for the catalogue without translating it.
constexpr const char* TrMark(const char* english) { return english; }

// The pattern with each "%s" replaced by the next value, in order; "%s" without a value is left out.
std::string Fill(std::string_view pattern, std::initializer_list<std::string_view> values);

}  // namespace tarvex
