// The 32-bit sum of a run of bytes, as an SCL archive keeps it after its last byte.
#pragma once

#include <cstdint>

#include "disk/zx_disk.h"

namespace tarvex {

// Eight bytes at a time; the same value as adding the bytes one by one, modulo 2^32.
uint32_t ByteSum(ByteSpan bytes);

}  // namespace tarvex
