#include "BxCode/BxQuantOctree.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <new>
#include <optional>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "BxCode/BxErrorCode.h"
#include "BxCode/BxIndexedImage.h"
#include "BxCode/BxRGBImage.h"

struct BxQuantOctree::Node {
    Node* parent = nullptr;
    std::array<Node*, 8> children{};
    Node* previous = nullptr;
    Node* next = nullptr;
    std::uint8_t childMask = 0;
    std::uint8_t isLeaf = 0;
    std::uint8_t key = 0;  // which child of its parent it is
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    std::uint32_t weight = 0;
    std::int32_t paletteIndex = 0;
};

namespace {

constexpr int kLevels = 5;
constexpr std::int32_t kEndMarkerIndex = -10;
// Weights above this are shifted down for the arithmetic of a mean, so that the products fit.
constexpr std::uint32_t kLargeWeight = 0xF0000;
constexpr std::uint32_t kTaken = std::numeric_limits<std::uint32_t>::max();
// The tolerance is a 16-bit quantity; it stops growing here instead of wrapping.
constexpr std::uint32_t kMaxTolerance = 0xFFFF;

std::uint8_t KeyAt(int level, std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    const int bit = 7 - level;
    return static_cast<std::uint8_t>((((red >> bit) & 1) << 2) | (((green >> bit) & 1) << 1) |
                                     ((blue >> bit) & 1));
}

std::uint32_t SaturatingAdd(std::uint32_t a, std::uint32_t b) {
    return (a > kTaken - b) ? kTaken : a + b;
}

// Divides the merge tolerance by how many colours an entry already stands for, so that heavily
// merged entries only take very close colours.
std::uint32_t ToleranceDivisor(std::uint32_t population) {
    static constexpr std::array<std::uint32_t, 8> kDivisors = {1, 1, 4, 8, 12, 16, 22, 27};
    return population < kDivisors.size() ? kDivisors[population] : 30;
}

// The entries a merge pass compares, one array per channel so that sixteen candidates are
// tested in one step; an entry merged away or protected is out of play and never matches.
// Padded so that a step that starts at the last entry still reads inside the arrays.
class MergeCandidates {
  public:
    static constexpr std::size_t kMaxEntries = 256;

    void Set(std::size_t i, const std::uint8_t* rgb, bool inPlay) {
        red_[i] = rgb[0];
        green_[i] = rgb[1];
        blue_[i] = rgb[2];
        inPlay_[i] = inPlay ? 0xFF : 0;
    }
    bool InPlay(std::size_t i) const { return inPlay_[i] != 0; }
    void TakeOut(std::size_t i) { inPlay_[i] = 0; }

    // The first entry j in [from, m) in play whose every channel lies within `reach` of entry
    // i's own; m when there is none.
    std::size_t FirstWithin(std::size_t i, std::size_t from, std::size_t m,
                            std::uint8_t reach) const {
#if defined(__SSE2__)
        const __m128i r = _mm_set1_epi8(static_cast<char>(red_[i]));
        const __m128i g = _mm_set1_epi8(static_cast<char>(green_[i]));
        const __m128i b = _mm_set1_epi8(static_cast<char>(blue_[i]));
        const __m128i most = _mm_set1_epi8(static_cast<char>(reach));
        for (std::size_t j = from; j < m; j += 16) {
            const __m128i near = _mm_and_si128(
                _mm_and_si128(Within(r, Load(red_, j), most), Within(g, Load(green_, j), most)),
                _mm_and_si128(Within(b, Load(blue_, j), most), Load(inPlay_, j)));
            auto found = static_cast<unsigned>(_mm_movemask_epi8(near));
            if (m - j < 16) {
                found &= (1u << (m - j)) - 1;
            }
            if (found) {
                return j + static_cast<std::size_t>(__builtin_ctz(found));
            }
        }
        return m;
#else
        for (std::size_t j = from; j < m; ++j) {
            if (inPlay_[j] && Distance(red_[i], red_[j]) <= reach &&
                Distance(green_[i], green_[j]) <= reach && Distance(blue_[i], blue_[j]) <= reach) {
                return j;
            }
        }
        return m;
#endif
    }

  private:
    using Channel = std::array<std::uint8_t, kMaxEntries + 16>;

#if defined(__SSE2__)
    static __m128i Load(const Channel& channel, std::size_t j) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(channel.data() + j));
    }
    // All ones in the lanes where |a - b| <= most.
    static __m128i Within(__m128i a, __m128i b, __m128i most) {
        const __m128i distance = _mm_or_si128(_mm_subs_epu8(a, b), _mm_subs_epu8(b, a));
        return _mm_cmpeq_epi8(_mm_min_epu8(distance, most), distance);
    }
#else
    static int Distance(std::uint8_t a, std::uint8_t b) {
        return a > b ? a - b : b - a;
    }
#endif

    Channel red_{};
    Channel green_{};
    Channel blue_{};
    Channel inPlay_{};
};

// The largest channel difference d with d * d <= limit.
std::uint8_t ReachOf(std::uint32_t limit) {
    if (limit >= 255 * 255) {
        return 255;
    }
    auto reach = static_cast<std::uint32_t>(std::sqrt(static_cast<double>(limit)));
    while (reach * reach > limit) {
        --reach;
    }
    while ((reach + 1) * (reach + 1) <= limit) {
        ++reach;
    }
    return static_cast<std::uint8_t>(reach);
}

}  // namespace

BxQuantOctree::BxQuantOctree() : palette_(256) {
    root_ = new (std::nothrow) Node();
    endMarker_ = new (std::nothrow) Node();
    if (!root_ || !endMarker_) {
        delete root_;
        delete endMarker_;
        BxRaise(kBxErrNoMemory);
    }
    tail_ = root_;
}

BxQuantOctree::~BxQuantOctree() {
    FreeTree(root_);
    delete endMarker_;
}

void BxQuantOctree::FreeTree(Node* node) {
    if (!node) {
        return;
    }
    for (int k = 0; k < 8; ++k) {
        if (node->childMask & (1 << k)) {
            FreeTree(node->children[static_cast<std::size_t>(k)]);
        }
    }
    delete node;
}

std::uint8_t BxQuantOctree::WeightedMean(std::uint8_t a, std::uint32_t weightA, std::uint8_t b,
                                         std::uint32_t weightB) {
    std::uint64_t wa = weightA;
    std::uint64_t wb = weightB;
    if (wa > kLargeWeight || wb > kLargeWeight) {
        wa >>= 10;
        wb >>= 10;
    }
    const std::uint64_t sum = wa + wb;
    if (sum == 0) {
        return a;
    }
    const std::uint64_t mean = (a * wa + b * wb + sum / 2) / sum;
    return static_cast<std::uint8_t>(std::min<std::uint64_t>(mean, 255));
}

void BxQuantOctree::AddImage(const BxImage& image) {
    if (const auto* indexed = dynamic_cast<const BxIndexedImage*>(&image)) {
        BxIndexCounts counts{};
        indexed->CountIndices(&counts);
        AddIndexed(indexed->Palette(), counts);
        return;
    }
    if (const auto* rgb = dynamic_cast<const BxRGBImage*>(&image)) {
        BxPixelLock lock(*rgb);
        for (std::uint32_t y = 0; y < rgb->GetHeight(); ++y) {
            const std::uint8_t* row = lock.Row(y);
            for (std::uint32_t x = 0; x < rgb->GetWidth(); ++x) {
                Insert(row[3 * x], row[3 * x + 1], row[3 * x + 2], 1);
            }
        }
    }
}

void BxQuantOctree::AddIndexed(const BxColorTable& palette, const BxIndexCounts& counts) {
    const std::size_t n = std::min(palette.Count(), counts.size());
    std::array<BxColor, 256> colors{};
    for (std::size_t i = 0; i < n; ++i) {
        colors[i] = palette.ColorAt(i);
    }
    AddColors(colors.data(), counts.data(), n);
}

void BxQuantOctree::AddColors(const BxColor* colors, const std::uint32_t* weights,
                              std::size_t count) {
    if (count > 0 && (!colors || !weights)) {
        BxRaise(kBxErrMissing);
    }
    for (std::size_t i = 0; i < count; ++i) {
        if (weights[i] != 0) {
            Insert(BxRedOf(colors[i]), BxGreenOf(colors[i]), BxBlueOf(colors[i]), weights[i]);
        }
    }
}

void BxQuantOctree::Insert(std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                           std::uint32_t weight) {
    Node* node = root_;
    for (int level = 0; level < kLevels; ++level) {
        const std::uint8_t key = KeyAt(level, red, green, blue);
        if (!(node->childMask & (1 << key))) {
            Node* child = new (std::nothrow) Node();
            if (!child) {
                BxRaise(kBxErrNoMemory);
            }
            child->parent = node;
            child->key = key;
            node->children[key] = child;
            node->childMask = static_cast<std::uint8_t>(node->childMask | (1 << key));
        }
        node = node->children[key];
    }
    if (!node->isLeaf) {
        node->weight = weight;
        node->red = red;
        node->green = green;
        node->blue = blue;
        node->isLeaf = 1;
        node->previous = tail_;
        tail_->next = node;
        tail_ = node;
        ++leafCount_;
        return;
    }
    node->red = WeightedMean(node->red, node->weight, red, weight);
    node->green = WeightedMean(node->green, node->weight, green, weight);
    node->blue = WeightedMean(node->blue, node->weight, blue, weight);
    node->weight = SaturatingAdd(node->weight, weight);
}

std::uint16_t BxQuantOctree::LeafLimitFor(std::uint16_t t) {
    static constexpr std::array<std::uint32_t, 5> kTable = {80, 130, 256, 256, 256};
    std::uint32_t k = 0;
    while (k < 3 && (std::uint32_t{t} >> (k + 1)) >= 32) {
        ++k;
    }
    const std::int64_t span = std::int64_t{kTable[k + 1]} - std::int64_t{kTable[k]};
    const std::int64_t above = std::int64_t{t} - (std::int64_t{32} << k);
    std::int64_t limit = std::int64_t{kTable[k]} + ((above * span) >> (k + 5));
    limit = std::min<std::int64_t>(limit, 256);
    limit = std::max<std::int64_t>(limit, t);
    return static_cast<std::uint16_t>(limit);
}

void BxQuantOctree::Reduce() {
    tail_->next = endMarker_;
    endMarker_->previous = tail_;
    endMarker_->weight = 0;
    endMarker_->paletteIndex = kEndMarkerIndex;
    root_->parent = endMarker_;
    // Bound: every fold removes a node, and each pass without one raises the threshold above the
    // lightest foldable weight seen, so a later pass folds at least that leaf.
    std::uint64_t threshold = 2;
    // The lightest weight seen in this pass that was too heavy to fold; kNone before any.
    constexpr std::uint64_t kNone = std::numeric_limits<std::uint64_t>::max();
    std::uint64_t smallest = kNone;
    Node* cursor = root_;
    while (leafCount_ > leafLimit_) {
        Node* next = cursor->next;
        if (next == endMarker_ || !next || next->weight == 0) {
            threshold = (smallest != kNone && smallest > threshold) ? smallest + 2 : threshold + 2;
            smallest = kNone;
            cursor = root_;
            continue;
        }
        cursor = next;
        // Level-1 colours are never folded into the root, and a node whose children have not
        // all been folded yet cannot stand for them.
        if (cursor->parent == root_ || cursor->childMask != 0) {
            continue;
        }
        if (cursor->weight >= threshold) {
            smallest = std::min<std::uint64_t>(smallest, cursor->weight);
            continue;
        }
        Node* node = cursor;
        Node* parent = node->parent;
        parent->red = WeightedMean(parent->red, parent->weight, node->red, node->weight);
        parent->green = WeightedMean(parent->green, parent->weight, node->green, node->weight);
        parent->blue = WeightedMean(parent->blue, parent->weight, node->blue, node->weight);
        parent->weight = SaturatingAdd(parent->weight, node->weight);
        parent->childMask = static_cast<std::uint8_t>(parent->childMask & ~(1 << node->key));
        parent->children[node->key] = nullptr;
        if (parent->isLeaf) {
            node->previous->next = node->next;
            node->next->previous = node->previous;
            cursor = node->previous;
            --leafCount_;
        } else {
            parent->previous = node->previous;
            parent->next = node->next;
            node->previous->next = parent;
            node->next->previous = parent;
            parent->isLeaf = 1;
            cursor = (node->next == endMarker_) ? node->previous : parent;
        }
        delete node;
    }
    // The list now ends at the end marker; new colours can no longer be added behind it.
    tail_ = endMarker_->previous;
}

std::size_t BxQuantOctree::CopyLeaves(Leaf* out, std::size_t capacity) const {
    std::size_t count = 0;
    for (Node* node = root_->next; node && node != endMarker_ && count < capacity;
         node = node->next) {
        out[count++] = Leaf{BxPackColor(node->red, node->green, node->blue), node->weight};
    }
    return count;
}

void BxQuantOctree::MergeNear(std::size_t entries) {
    const std::size_t m = std::min<std::size_t>(entries, palette_.Count());
    const std::size_t t = target_;
    std::uint8_t* rgb = palette_.Entries();
    std::array<std::uint32_t, 256> population{};
    std::array<bool, 256> removed{};
    std::array<bool, 256> isProtected{};
    population.fill(1);
    // The brightest near-white and the darkest near-black stay pure, so that a page's white and
    // black survive quantization exactly.
    std::optional<std::size_t> white;
    std::optional<std::size_t> black;
    int brightest = 1;
    int darkest = 1000;
    for (std::size_t i = 0; i < m; ++i) {
        const int r = rgb[3 * i];
        const int g = rgb[3 * i + 1];
        const int b = rgb[3 * i + 2];
        if (r > 220 && g > 220 && b > 220 && r + g + b > brightest) {
            brightest = r + g + b;
            white = i;
        }
        if (r < 40 && g < 40 && b < 40 && r + g + b < darkest) {
            darkest = r + g + b;
            black = i;
        }
    }
    if (white) {
        palette_.SetColor(*white, 255, 255, 255);
        isProtected[*white] = true;
    }
    if (black) {
        palette_.SetColor(*black, 0, 0, 0);
        isProtected[*black] = true;
    }
    MergeCandidates candidates;
    for (std::size_t i = 0; i < m; ++i) {
        candidates.Set(i, rgb + 3 * i, !isProtected[i]);
    }
    auto merge = [&](std::size_t i, std::size_t j) {
        for (int c = 0; c < 3; ++c) {
            rgb[3 * i + c] =
                WeightedMean(rgb[3 * i + c], population[i], rgb[3 * j + c], population[j]);
        }
        population[i] += population[j];
        removed[j] = true;
        candidates.Set(i, rgb + 3 * i, !isProtected[i]);
        candidates.TakeOut(j);
    };
    std::size_t live = m;
    std::uint32_t tolerance = 10;
    // Bound: each pass merges at least one pair or raises the tolerance; at the largest
    // tolerance a pass that merges nothing merges the closest pair instead.
    while (live > t) {
        bool merged = false;
        for (std::size_t i = 0; i < m && live > t; ++i) {
            if (!candidates.InPlay(i)) {
                continue;
            }
            // Entry i only changes when it takes in another (which removes that one, never i);
            // each channel's square lies within the limit exactly when the channel is in reach.
            for (std::size_t j = i + 1; live > t; ++j) {
                const std::uint8_t reach = ReachOf(tolerance / ToleranceDivisor(population[i]));
                j = candidates.FirstWithin(i, j, m, reach);
                if (j >= m) {
                    break;
                }
                merge(i, j);
                --live;
                merged = true;
            }
        }
        if (merged || live <= t) {
            continue;
        }
        if (tolerance < kMaxTolerance) {
            tolerance = std::min<std::uint32_t>((3 * tolerance) >> 1, kMaxTolerance);
            continue;
        }
        std::optional<std::pair<std::size_t, std::size_t>> closest;
        std::uint32_t closestDistance = kTaken;
        for (std::size_t i = 0; i < m; ++i) {
            for (std::size_t j = i + 1; j < m; ++j) {
                if (removed[i] || removed[j] || isProtected[i] || isProtected[j]) {
                    continue;
                }
                const std::uint32_t d = BxColorDistance(rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2],
                                                        rgb[3 * j], rgb[3 * j + 1], rgb[3 * j + 2]);
                if (d < closestDistance) {
                    closestDistance = d;
                    closest = std::make_pair(i, j);
                }
            }
        }
        if (!closest) {
            break;  // only protected entries are left to merge; t is never below 2 of them
        }
        merge(closest->first, closest->second);
        --live;
    }
    std::size_t out = 0;
    for (std::size_t i = 0; i < m; ++i) {
        if (!removed[i]) {
            if (out != i) {
                palette_.SetColor(out, rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]);
            }
            ++out;
        }
    }
}

void BxQuantOctree::PickExtremes(std::size_t n) {
    constexpr std::size_t kPool = 32;
    std::array<std::array<int, 3>, kPool> pool{};
    for (std::size_t i = 0; i < kPool; ++i) {
        const BxColor c = palette_.ColorAt(i);
        pool[i] = {BxRedOf(c), BxGreenOf(c), BxBlueOf(c)};
    }
    // Each rule scores a colour; the highest score not yet chosen wins, the first among equals.
    using Score = int (*)(int r, int g, int b);
    static constexpr std::array<Score, 8> kRules = {
        [](int r, int g, int b) { return -(r + g + b); },
        [](int r, int g, int b) { return -(765 - (r + g + b)); },
        [](int r, int g, int b) { return g - r - b; },
        [](int r, int g, int b) { return r - g - b; },
        [](int r, int g, int b) { return b - r - g; },
        [](int r, int g, int b) { return r + g - b; },
        [](int r, int g, int b) { return g + b - r; },
        [](int r, int g, int b) { return r + b - g; },
    };
    std::array<bool, kPool> chosen{};
    std::size_t written = 0;
    const std::size_t wanted = std::max<std::size_t>(n, 2);
    for (const Score rule : kRules) {
        if (written >= wanted) {
            break;
        }
        std::optional<std::size_t> best;
        int bestScore = 0;
        for (std::size_t i = 0; i < kPool; ++i) {
            const int score = rule(pool[i][0], pool[i][1], pool[i][2]);
            if (!chosen[i] && (!best || score > bestScore)) {
                best = i;
                bestScore = score;
            }
        }
        chosen[*best] = true;
        const auto& c = pool[*best];
        palette_.SetColor(written++, static_cast<std::uint8_t>(c[0]),
                          static_cast<std::uint8_t>(c[1]), static_cast<std::uint8_t>(c[2]));
    }
    // Past the eight extremes the remaining colours follow in their order.
    for (std::size_t i = 0; i < kPool && written < wanted; ++i) {
        if (!chosen[i]) {
            chosen[i] = true;
            palette_.SetColor(written++, static_cast<std::uint8_t>(pool[i][0]),
                              static_cast<std::uint8_t>(pool[i][1]),
                              static_cast<std::uint8_t>(pool[i][2]));
        }
    }
}

BxColorTable BxQuantOctree::MakePalette(std::size_t n) {
    if (n == 0 || n > 256) {
        BxRaise(kBxErrBadArgument);
    }
    const auto t = static_cast<std::uint16_t>(n <= 32 ? 32 : n);
    target_ = t;
    leafLimit_ = LeafLimitFor(t);
    Reduce();
    palette_ = BxColorTable(256);
    std::size_t index = 0;
    for (Node* node = root_->next; node && node != endMarker_ && index < 256; node = node->next) {
        palette_.SetColor(index++, node->red, node->green, node->blue);
    }
    MergeNear(leafLimit_);
    if (n < 32) {
        PickExtremes(n);
    }
    palette_.Resize(n);
    return std::move(palette_);
}
