// A rectangle of pixels: columns left to right - 1 and rows top to bottom - 1. The fields stand
// in the order the library passes them: left, top, bottom, right.
#pragma once

#include <cstdint>

struct BxRect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t bottom = 0;
    std::int32_t right = 0;

    std::int64_t Width() const { return std::int64_t{right} - left; }
    std::int64_t Height() const { return std::int64_t{bottom} - top; }
    bool operator==(const BxRect&) const = default;
};
