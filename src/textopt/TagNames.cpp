#include "textopt/TagNames.h"

#include <array>
#include <cstddef>
#include <string_view>

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

// A fixed set of names in an open-addressed hash table built at compile time, plus the set of
// bytes a name can start with, so that most tags are turned away before their name is read.
template <std::size_t SlotCount>
class TagTable {
  public:
    template <std::size_t N>
    consteval TagTable(const std::array<std::string_view, N>& names, TagClass tagClass) {
        static_assert(N < SlotCount, "an empty slot must remain to end every probe");
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
            if (Contains(packed)) {
                throw "tag table entry repeated";
            }
            std::size_t slot = SlotOf(packed, SlotCount);
            while (slots_[slot].size != 0) {
                slot = (slot + 1) & (SlotCount - 1);
            }
            slots_[slot] = packed;
            firstBytes_[static_cast<unsigned char>(name[0])] = true;
        }
    }

    constexpr bool MayStartWith(std::uint8_t b) const { return firstBytes_[b]; }

    constexpr bool Contains(const PackedName& name) const {
        // Bound: the table is never full, so the probe meets an empty slot.
        for (std::size_t slot = SlotOf(name, SlotCount);; slot = (slot + 1) & (SlotCount - 1)) {
            const PackedName& entry = slots_[slot];
            if (entry.size == 0) {
                return false;
            }
            if (entry.size == name.size && entry.low == name.low && entry.high == name.high) {
                return true;
            }
        }
    }

  private:
    std::array<PackedName, SlotCount> slots_{};
    std::array<bool, 256> firstBytes_{};
};

constexpr auto kPreformattedTags = TagTable<16>(kPreformattedTagNames, TagClass::kPreformatted);
constexpr auto kRawTextTags = TagTable<16>(kRawTextTagNames, TagClass::kRawText);
constexpr auto kScriptTags = TagTable<2>(kScriptTagNames, TagClass::kScript);
constexpr auto kStyleTags = TagTable<2>(kStyleTagNames, TagClass::kStyle);
constexpr auto kKnownTags = TagTable<128>(kKnownTagNames, TagClass::kKnown);
constexpr auto kBlockTags = TagTable<128>(kBlockTagNames, TagClass::kBlock);
constexpr auto kInvisibleTags = TagTable<32>(kInvisibleTagNames, TagClass::kInvisible);

constexpr bool EndsTagName(std::uint8_t b) {
    return b == ' ' || b == '>' || b == '\n';
}

template <std::size_t SlotCount>
bool IsListed(const TagTable<SlotCount>& table, int maxCount, const std::uint8_t* p,
              const std::uint8_t* end) {
    if (end - p < 2 || *p != '<' || !table.MayStartWith(UpperCasedTagByte(p[1]))) {
        return false;
    }
    PackedName packed;  // the name without its `<`
    int count = 1;      // the `<` is counted
    // Bound: count never passes maxCount (<= 15), so at most 14 bytes are packed.
    while (count < maxCount && count < end - p && !EndsTagName(p[count])) {
        const int k = count - 1;
        (k < 8 ? packed.low : packed.high) |= std::uint64_t{UpperCasedTagByte(p[count])}
                                              << (8 * (k % 8));
        ++count;
    }
    packed.size = static_cast<std::uint32_t>(count - 1);
    return table.Contains(packed);
}

}  // namespace

bool IsTagOfClass(TagClass tagClass, const std::uint8_t* p, const std::uint8_t* end) {
    const int maxCount = MaxTagNameCount(tagClass);
    switch (tagClass) {
        case TagClass::kPreformatted:
            return IsListed(kPreformattedTags, maxCount, p, end);
        case TagClass::kRawText:
            return IsListed(kRawTextTags, maxCount, p, end);
        case TagClass::kScript:
            return IsListed(kScriptTags, maxCount, p, end);
        case TagClass::kStyle:
            return IsListed(kStyleTags, maxCount, p, end);
        case TagClass::kKnown:
            return IsListed(kKnownTags, maxCount, p, end);
        case TagClass::kBlock:
            return IsListed(kBlockTags, maxCount, p, end);
        case TagClass::kInvisible:
            return IsListed(kInvisibleTags, maxCount, p, end);
    }
    return false;
}

}  // namespace quillon
