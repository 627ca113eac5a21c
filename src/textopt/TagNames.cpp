#include "textopt/TagNames.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <string_view>

#include "textopt/ByteScan.h"

namespace quillon {
namespace {

// A name of at most 14 bytes, packed into two words so that comparing names costs two integer
// compares. Unused bytes are 0; `size` tells "P" from "P" followed by a deleted byte.
struct PackedName {
    std::uint64_t low = 0;   // bytes 0-7, byte 0 in the lowest bits
    std::uint64_t high = 0;  // bytes 8-15
    std::uint32_t size = 0;
};

constexpr std::size_t kMaxPackedSize = 14;

constexpr std::size_t SlotOf(const PackedName& name, std::size_t slotCount) {
    const std::uint64_t mixed =
        (name.low * 0x9E3779B97F4A7C15ULL) ^ (name.high * 0xC2B2AE3D27D4EB4FULL) ^ name.size;
    return static_cast<std::size_t>(mixed >> 40) & (slotCount - 1);
}

// Every name of every class in one open-addressed hash table built at compile time, each with
// the classes it belongs to: a tag's name is read and looked up once, whichever classes the
// caller asks about. Names are read as far as the longest collection limit: a name the shorter
// limit of a class would cut off is longer than all of that class's entries anyway, so it
// matches none of them either way.
class TagClassTable {
    // Add comes before the constructor: some compilers evaluate the constructor where the table
    // is defined, before they have instantiated a member template defined below it.
    // At most a quarter full: a name in no table, which many tags have, probes on to an empty
    // slot, and a fuller table puts that further away.
    static constexpr std::size_t kSlotCount = 512;

    struct Slot {
        PackedName name;
        std::uint8_t classes = 0;
    };

    template <std::size_t N>
    consteval void Add(const std::array<std::string_view, N>& names, TagClass tagClass) {
        const std::uint8_t bit = TagClassBit(tagClass);
        for (const std::string_view name : names) {
            // With the `<`, every entry must be shorter than the collection limit: a name cut
            // off at the limit then never matches, as a too-long name must not.
            if (name.empty() ||
                name.size() + 1 >= static_cast<std::size_t>(MaxTagNameCount(tagClass)) ||
                name.size() > kMaxPackedSize) {
                throw "tag table entry empty or too long";
            }
            PackedName packed;
            for (std::size_t k = 0; k < name.size(); ++k) {
                const auto byte = static_cast<std::uint64_t>(static_cast<unsigned char>(name[k]));
                (k < 8 ? packed.low : packed.high) |= byte << (8 * (k % 8));
            }
            packed.size = static_cast<std::uint32_t>(name.size());
            std::size_t slot = SlotOf(packed, kSlotCount);
            // Bound: the table is at most a quarter full, so the probe meets an empty slot.
            while (slots_[slot].name.size != 0 &&
                   !(slots_[slot].name.size == packed.size && slots_[slot].name.low == packed.low &&
                     slots_[slot].name.high == packed.high)) {
                slot = (slot + 1) & (kSlotCount - 1);
            }
            if ((slots_[slot].classes & bit) != 0) {
                throw "tag table entry repeated";
            }
            if (slots_[slot].name.size == 0 && ++used_ * 4 > kSlotCount) {
                throw "tag class table too full";
            }
            slots_[slot].name = packed;
            slots_[slot].classes |= bit;
            firstBytes_[static_cast<unsigned char>(name[0])] |= bit;
        }
    }

  public:
    consteval TagClassTable() {
        Add(kPreformattedTagNames, TagClass::kPreformatted);
        Add(kRawTextTagNames, TagClass::kRawText);
        Add(kScriptTagNames, TagClass::kScript);
        Add(kStyleTagNames, TagClass::kStyle);
        Add(kKnownTagNames, TagClass::kKnown);
        Add(kBlockTagNames, TagClass::kBlock);
        Add(kInvisibleTagNames, TagClass::kInvisible);
    }

    // The classes (as TagClassBit bits) that have a name beginning with b.
    constexpr std::uint8_t StartClasses(std::uint8_t b) const { return firstBytes_[b]; }

    constexpr std::uint8_t ClassesOf(const PackedName& name) const {
        // Bound: the table is never full, so the probe meets an empty slot.
        for (std::size_t slot = SlotOf(name, kSlotCount);; slot = (slot + 1) & (kSlotCount - 1)) {
            const Slot& entry = slots_[slot];
            if (entry.name.size == 0) {
                return 0;
            }
            if (entry.name.size == name.size && entry.name.low == name.low &&
                entry.name.high == name.high) {
                return entry.classes;
            }
        }
    }

  private:
    std::array<Slot, kSlotCount> slots_{};
    std::array<std::uint8_t, 256> firstBytes_{};
    std::size_t used_ = 0;
};

constexpr TagClassTable kTagClasses;

// The longest collection limit of any class.
constexpr int kLongestNameCount = MaxTagNameCount(TagClass::kKnown);
static_assert(kLongestNameCount >= MaxTagNameCount(TagClass::kPreformatted));

// The name of the tag at p (a `<` with at least 17 bytes from it), packed from two words: the
// bytes up to the first that ends a name, upper-cased a word at a time, at most maxCount - 1.
PackedName PackNameFromWords(const std::uint8_t* p, int maxCount) {
    constexpr std::uint64_t kHigh = detail::kEveryByte * 0x80;
    // EndsTagName, a word at a time.
    const auto ends = [](std::uint64_t word) {
        return detail::BytesEqual(word, ' ') | detail::BytesEqual(word, '>') |
               detail::BytesEqual(word, '\n') | detail::BytesEqual(word, '\t') |
               detail::BytesEqual(word, '\f');
    };
    // 0x5B-0x7F move down by 32 (UpperCasedTagByte): bytes below 0x80 reach 0x80 by adding
    // 0x25 exactly when they are 0x5B or more, and no sum carries into the next byte.
    const auto upper = [](std::uint64_t word) {
        const std::uint64_t moved =
            ((word & detail::kLow7Bits) + detail::kEveryByte * 0x25) & ~word & kHigh;
        return word - (moved >> 2);
    };
    const std::uint64_t low = detail::LoadWord(p + 1);
    const std::uint64_t high = detail::LoadWord(p + 9);
    const std::uint64_t lowEnds = ends(low);
    const std::uint64_t highEnds = ends(high);
    int size = lowEnds != 0    ? detail::FirstMarkedByte(lowEnds)
               : highEnds != 0 ? 8 + detail::FirstMarkedByte(highEnds)
                               : 16;
    size = std::min(size, maxCount - 1);
    const auto keep = [](int bytes) {
        return bytes >= 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * bytes)) - 1;
    };
    PackedName packed;
    packed.low = upper(low) & keep(size);
    packed.high = size > 8 ? upper(high) & keep(size - 8) : 0;
    packed.size = static_cast<std::uint32_t>(size);
    return packed;
}

// The name of the tag at p (a `<`), packed as the tables are: the bytes up to a blank (space,
// tab, line feed, form feed), `>` or the end, upper-cased, at most kLongestNameCount - 1 of them.
PackedName PackName(const std::uint8_t* p, const std::uint8_t* end) {
    if constexpr (std::endian::native == std::endian::little) {
        if (end - p >= 17) {
            return PackNameFromWords(p, kLongestNameCount);
        }
    }
    PackedName packed;  // the name without its `<`
    int count = 1;      // the `<` is counted
    // Bound: count never passes kLongestNameCount, so at most 14 bytes are packed.
    while (count < kLongestNameCount && count < end - p && !EndsTagName(p[count])) {
        const int k = count - 1;
        (k < 8 ? packed.low : packed.high) |= std::uint64_t{UpperCasedTagByte(p[count])}
                                              << (8 * (k % 8));
        ++count;
    }
    packed.size = static_cast<std::uint32_t>(count - 1);
    return packed;
}

}  // namespace

std::uint8_t TagClassesOf(const std::uint8_t* p, const std::uint8_t* end, std::uint8_t wanted) {
    if (end - p < 2 || *p != '<' ||
        (kTagClasses.StartClasses(UpperCasedTagByte(p[1])) & wanted) == 0) {
        return 0;
    }
    return kTagClasses.ClassesOf(PackName(p, end)) & wanted;
}

bool IsTagOfClass(TagClass tagClass, const std::uint8_t* p, const std::uint8_t* end) {
    return TagClassesOf(p, end, TagClassBit(tagClass)) != 0;
}

}  // namespace quillon
