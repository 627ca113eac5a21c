#include "BxCode/BxColorTable.h"

#include <algorithm>
#include <cassert>
#include <new>

#include "BxCode/BxErrorCode.h"

namespace {

std::vector<std::uint8_t> NewEntries(std::size_t count) {
    if (count > BxColorTable::kMaxColors) {
        BxRaise(kBxErrNoMemory);
    }
    try {
        return std::vector<std::uint8_t>(count * 3, 0);
    } catch (const std::bad_alloc&) {
        BxRaise(kBxErrNoMemory);
    }
}

}  // namespace

BxColorTable::BxColorTable(std::size_t count) : entries_(NewEntries(count)), count_(count) {}

BxColorTable::BxColorTable(const BxColorTable& other) : count_(other.count_) {
    try {
        entries_ = other.entries_;
    } catch (const std::bad_alloc&) {
        BxRaise(kBxErrNoMemory);
    }
}

BxColorTable::BxColorTable(BxColorTable&& other) noexcept
    : entries_(std::move(other.entries_)), count_(other.count_) {
    other.entries_.clear();
    other.count_ = 0;
}

BxColorTable& BxColorTable::operator=(BxColorTable&& other) noexcept {
    if (this != &other) {
        entries_ = std::move(other.entries_);
        count_ = other.count_;
        other.entries_.clear();
        other.count_ = 0;
    }
    return *this;
}

BxColorTable& BxColorTable::operator=(const BxColorTable& other) {
    if (this != &other) {
        BxColorTable copy(other);  // a failed copy leaves this table as it was
        *this = std::move(copy);
    }
    return *this;
}

BxColor BxColorTable::ColorAt(std::size_t index) const {
    if (index >= count_) {
        BxRaise(kBxErrBadArgument);
    }
    const std::uint8_t* rgb = entries_.data() + 3 * index;
    return BxPackColor(rgb[0], rgb[1], rgb[2]);
}

void BxColorTable::SetColor(std::size_t index, std::uint8_t red, std::uint8_t green,
                            std::uint8_t blue) {
    if (index >= count_) {
        BxRaise(kBxErrBadArgument);
    }
    std::uint8_t* rgb = entries_.data() + 3 * index;
    rgb[0] = red;
    rgb[1] = green;
    rgb[2] = blue;
}

void BxColorTable::Clear() {
    entries_ = {};
    count_ = 0;
}

void BxColorTable::Resize(std::size_t count) {
    if (count == count_) {
        return;
    }
    std::vector<std::uint8_t> resized = NewEntries(count);
    std::copy_n(entries_.begin(), 3 * std::min(count, count_), resized.begin());
    entries_ = std::move(resized);
    count_ = count;
}

bool BxColorTable::Equals(const BxColorTable& other) const {
    return count_ == other.count_ && entries_ == other.entries_;
}

std::size_t BxColorTable::Nearest(BxColor color, std::int64_t excluded) const {
    const std::size_t first = excluded == 0 ? 1 : 0;
    if (first >= count_) {
        BxRaise(kBxErrMissing);
    }
    const std::uint8_t red = BxRedOf(color);
    const std::uint8_t green = BxGreenOf(color);
    const std::uint8_t blue = BxBlueOf(color);
    const std::uint8_t* rgb = entries_.data();
    std::size_t best = first;
    std::uint32_t bestDistance =
        BxColorDistance(red, green, blue, rgb[3 * first], rgb[3 * first + 1], rgb[3 * first + 2]);
    for (std::size_t i = first + 1; i < count_ && bestDistance != 0; ++i) {
        if (static_cast<std::int64_t>(i) == excluded) {
            continue;
        }
        const std::uint32_t distance =
            BxColorDistance(red, green, blue, rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]);
        if (distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    return best;
}

std::size_t BxColorTable::NearestOther(std::size_t index) const {
    return Nearest(ColorAt(index), static_cast<std::int64_t>(index));
}

BxColorTable BxColorTable::Compacted(std::span<std::uint8_t> map) const {
    if (!map.empty() && map.size() < count_) {
        BxRaise(kBxErrMissing);
    }
    BxColorTable compacted(*this);
    std::uint8_t* out = compacted.entries_.data();
    const std::uint8_t* in = entries_.data();
    std::size_t unique = 0;
    for (std::size_t i = 0; i < count_; ++i) {
        const std::uint8_t* rgb = in + 3 * i;
        std::size_t k = 0;
        while (k < unique &&
               !(out[3 * k] == rgb[0] && out[3 * k + 1] == rgb[1] && out[3 * k + 2] == rgb[2])) {
            ++k;
        }
        if (k == unique) {
            out[3 * k] = rgb[0];
            out[3 * k + 1] = rgb[1];
            out[3 * k + 2] = rgb[2];
            ++unique;
        }
        if (!map.empty()) {
            map[i] = static_cast<std::uint8_t>(k);
        }
    }
    assert(unique <= count_);
    compacted.Resize(unique);
    return compacted;
}
