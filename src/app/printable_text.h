// Names and texts made safe to print on one line of a terminal or a log: control characters, and bytes
// that are not UTF-8, escaped the way `ls --quoting-style=c` shows them. A name or text with nothing to
// escape stays exactly as it is.
#pragma once

#include <string>
#include <string_view>

namespace tarvex {

// A file name for a result line: as it is, or, when it holds anything to escape, in double quotes with
// \n, \t, \", \\ ... and \ooo escapes.
std::string ShownName(std::string_view name);

// The same escapes without the quotes (and without escaping quotes), for a text that carries names among
// its words: a reason, a log line.
std::string ShownText(std::string_view text);

// The length of the UTF-8 character at text[at] (1 to 4), or 0 when the bytes there are not one.
size_t Utf8CharLength(std::string_view text, size_t at);

}  // namespace tarvex
