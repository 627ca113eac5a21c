// The image library's palette: an ordered list of RGB colours, three bytes each, no gaps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// A colour passed by value: red in bits 0-7, green in 8-15, blue in 16-23.
using BxColor = std::uint32_t;

constexpr BxColor BxPackColor(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    return BxColor{red} | (BxColor{green} << 8) | (BxColor{blue} << 16);
}
constexpr std::uint8_t BxRedOf(BxColor color) {
    return static_cast<std::uint8_t>(color);
}
constexpr std::uint8_t BxGreenOf(BxColor color) {
    return static_cast<std::uint8_t>(color >> 8);
}
constexpr std::uint8_t BxBlueOf(BxColor color) {
    return static_cast<std::uint8_t>(color >> 16);
}

// The library's one colour distance: squared Euclidean in RGB, at most 3 x 255 x 255.
constexpr std::uint32_t BxColorDistance(std::uint8_t r1, std::uint8_t g1, std::uint8_t b1,
                                        std::uint8_t r2, std::uint8_t g2, std::uint8_t b2) {
    const int dr = int{r1} - int{r2};
    const int dg = int{g1} - int{g2};
    const int db = int{b1} - int{b2};
    return static_cast<std::uint32_t>(dr * dr + dg * dg + db * db);
}

class BxColorTable {
  public:
    // Tables used as palettes hold at most 256 colours (indices are bytes); the table itself
    // only refuses sizes no image could use, so that a bad count cannot exhaust memory.
    static constexpr std::size_t kMaxColors = std::size_t{1} << 24;

    BxColorTable() = default;
    // `count` black colours.
    explicit BxColorTable(std::size_t count);
    BxColorTable(const BxColorTable& other);
    BxColorTable& operator=(const BxColorTable& other);
    BxColorTable(BxColorTable&& other) noexcept;
    BxColorTable& operator=(BxColorTable&& other) noexcept;

    std::size_t Count() const { return count_; }
    // Colour i at bytes 3i, 3i+1, 3i+2; null exactly when the count is 0.
    std::uint8_t* Entries() { return count_ ? entries_.data() : nullptr; }
    const std::uint8_t* Entries() const { return count_ ? entries_.data() : nullptr; }

    BxColor ColorAt(std::size_t index) const;
    void SetColor(std::size_t index, std::uint8_t red, std::uint8_t green, std::uint8_t blue);

    void Clear();
    // Keeps the first min(old, n) colours; colours added are black until the caller writes them.
    void Resize(std::size_t count);

    bool Equals(const BxColorTable& other) const;
    bool Differs(const BxColorTable& other) const { return !Equals(other); }
    bool operator==(const BxColorTable& other) const { return Equals(other); }

    // The entry closest to `color`, never `excluded` (negative for none); the lowest index wins
    // among equals. 27 when the table has no entry to give.
    std::size_t Nearest(BxColor color, std::int64_t excluded = -1) const;
    // The closest entry to entry `index` other than itself.
    std::size_t NearestOther(std::size_t index) const;

    // A copy without duplicate colours, first occurrences in their order. When `map` is given it
    // receives, per old index, the new index of that colour; it must hold Count() bytes (27).
    BxColorTable Compacted(std::span<std::uint8_t> map = {}) const;

  private:
    // Invariant: entries_.size() == 3 * count_.
    std::vector<std::uint8_t> entries_;
    std::size_t count_ = 0;
};
