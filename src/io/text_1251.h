// Windows-1251, the single-byte Cyrillic code page of TR-DOS file names, image comments and the run log.
#pragma once

#include <string>

#include "io/bytes.h"

namespace tarvex {

std::string Cp1251ToUtf8(ByteSpan bytes);
inline std::string Cp1251ToUtf8(const std::string& bytes) {
    return Cp1251ToUtf8(ByteSpan(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
}
// Characters without a Windows-1251 byte become '?'.
std::string Utf8ToCp1251(const std::string& text);

}  // namespace tarvex
