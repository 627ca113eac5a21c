// Rows of one bit a pixel, as masks store them: eight pixels a byte, the first in the most
// significant bit.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

// A set bit for each opaque pixel of a mask byte: one whose bit differs from the mask's polarity.
inline std::uint8_t OpaqueBits(std::uint8_t maskByte, std::uint8_t polarity) {
    return static_cast<std::uint8_t>(polarity ? ~maskByte : maskByte);
}

inline std::uint8_t StoredBit(const std::uint8_t* row, std::uint32_t x) {
    return static_cast<std::uint8_t>((row[x >> 3] >> (7 - (x & 7))) & 1);
}

inline void PutBit(std::uint8_t* row, std::uint32_t x, std::uint8_t bit) {
    const auto mask = static_cast<std::uint8_t>(0x80 >> (x & 7));
    row[x >> 3] = static_cast<std::uint8_t>(bit ? (row[x >> 3] | mask) : (row[x >> 3] & ~mask));
}

// The eight bits from bit x on, the first in the most significant place; all eight must lie
// inside the row.
inline std::uint8_t EightBitsAt(const std::uint8_t* row, std::uint32_t x) {
    const std::uint32_t shift = x & 7;
    std::uint32_t word = std::uint32_t{row[x >> 3]} << 8;
    if (shift != 0) {
        word |= row[(x >> 3) + 1];
    }
    return static_cast<std::uint8_t>(word >> (8 - shift));
}

// A mask byte with a bit set for each of the eight byte pairs of `a` and `b` that are equal.
inline std::uint8_t EqualBits(const std::uint8_t* a, const std::uint8_t* b) {
    if constexpr (std::endian::native == std::endian::little) {
        // A byte of `word` is zero where the pair is equal, and the exact zero-byte test sets
        // its top bit; the multiply gathers the eight top bits, the first pair's (the lowest
        // byte's) ending highest.
        constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;
        std::uint64_t word = 0;
        std::uint64_t other = 0;
        std::memcpy(&word, a, sizeof word);
        std::memcpy(&other, b, sizeof other);
        word ^= other;
        const std::uint64_t zero = ~(((word & kLow7) + kLow7) | word | kLow7);
        return static_cast<std::uint8_t>(((zero >> 7) * 0x8040201008040201ULL) >> 56);
    }
    std::uint8_t bits = 0;
    for (std::uint32_t k = 0; k < 8; ++k) {
        bits = static_cast<std::uint8_t>(bits | ((a[k] == b[k] ? 0x80 : 0) >> k));
    }
    return bits;
}
