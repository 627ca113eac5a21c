// Byte-block helpers of the image library. They run front to back one byte at a time, so an
// overlapping copy towards higher addresses repeats the leading bytes, as the callers expect.
#pragma once

#include <cstddef>
#include <cstdint>

void BxCopyBytes(void* destination, const void* source, std::size_t count);
void BxFillBytes(void* destination, std::uint8_t value, std::size_t count);
// The difference (first minus second, as unsigned bytes) of the first pair that differs, or 0.
int BxCompareBytes(const void* first, const void* second, std::size_t count);
