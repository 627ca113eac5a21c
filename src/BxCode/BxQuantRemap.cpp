#include "BxCode/BxQuantRemap.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdlib>
#include <limits>
#include <new>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "BxCode/BxErrorCode.h"
#include "BxCode/BxQuantOctree.h"

namespace {

constexpr std::uint32_t kFarther = std::numeric_limits<std::uint32_t>::max();
// Edges at least this strong are left alone by SmoothDither.
constexpr int kEdgeStrength = 180;
// Two colours swapped by SmoothDither differ by at most this in every channel.
constexpr int kSwapDifference = 128;

std::atomic<std::uint32_t> gRemapSerial{0};

std::uint32_t DistanceOf(const std::uint8_t* a, const std::uint8_t* b) {
    return BxColorDistance(a[0], a[1], a[2], b[0], b[1], b[2]);
}

// The nearest of a list of table entries to any colour, the first listed among equals, as a scan
// of the list in order finds it. With SSE2 four entries go at a step: one multiply-add of 16-bit
// differences gives red's and green's squares, another blue's.
class NearestEntry {
  public:
    NearestEntry(const BxColorTable& table, const std::array<std::uint8_t, 256>& entries,
                 std::size_t count)
        : entries_(entries), count_(count) {
        // The padding lies farther from every colour than any entry: 3 * 1000^2 still fits.
        redGreen_.fill(kFar);
        blueNone_.fill(0);
        for (std::size_t k = 0; k < kPadded; ++k) {
            blueNone_[2 * k] = kFar;
        }
        for (std::size_t k = 0; k < count; ++k) {
            const std::uint8_t* colour = table.Entries() + 3 * std::size_t{entries[k]};
            redGreen_[2 * k] = colour[0];
            redGreen_[2 * k + 1] = colour[1];
            blueNone_[2 * k] = colour[2];
        }
    }

    // Entry 0 when the list is empty.
    std::uint8_t Of(const std::uint8_t* colour) const {
        if (count_ == 0) {
            return 0;
        }
#if defined(__SSE2__)
        const __m128i redGreen = _mm_set1_epi32(colour[0] | (colour[1] << 16));
        const __m128i blue = _mm_set1_epi32(colour[2]);
        const __m128i four = _mm_set1_epi32(4);
        __m128i at = _mm_setr_epi32(0, 1, 2, 3);
        __m128i best = _mm_set1_epi32(std::numeric_limits<std::int32_t>::max());
        __m128i bestAt = _mm_setzero_si128();
        for (std::size_t k = 0; k < count_; k += 4) {
            const __m128i dRG = _mm_sub_epi16(Load(redGreen_, k), redGreen);
            const __m128i dB = _mm_sub_epi16(Load(blueNone_, k), blue);
            const __m128i distance =
                _mm_add_epi32(_mm_madd_epi16(dRG, dRG), _mm_madd_epi16(dB, dB));
            // Strictly closer only: each lane keeps the first of its equals.
            const __m128i closer = _mm_cmplt_epi32(distance, best);
            best = Select(closer, distance, best);
            bestAt = Select(closer, at, bestAt);
            at = _mm_add_epi32(at, four);
        }
        alignas(16) std::array<std::int32_t, 4> distances{};
        alignas(16) std::array<std::int32_t, 4> positions{};
        _mm_store_si128(reinterpret_cast<__m128i*>(distances.data()), best);
        _mm_store_si128(reinterpret_cast<__m128i*>(positions.data()), bestAt);
        std::size_t lane = 0;
        for (std::size_t l = 1; l < 4; ++l) {
            if (distances[l] < distances[lane] ||
                (distances[l] == distances[lane] && positions[l] < positions[lane])) {
                lane = l;
            }
        }
        return entries_[static_cast<std::size_t>(positions[lane])];
#else
        std::int32_t best = std::numeric_limits<std::int32_t>::max();
        std::size_t nearest = 0;
        for (std::size_t k = 0; k < count_; ++k) {
            const int dr = redGreen_[2 * k] - colour[0];
            const int dg = redGreen_[2 * k + 1] - colour[1];
            const int db = blueNone_[2 * k] - colour[2];
            const std::int32_t d = dr * dr + dg * dg + db * db;
            if (d < best) {
                best = d;
                nearest = k;
            }
        }
        return entries_[nearest];
#endif
    }

  private:
    static constexpr std::int16_t kFar = 1000;
    static constexpr std::size_t kPadded = 256 + 4;

#if defined(__SSE2__)
    static __m128i Load(const std::array<std::int16_t, 2 * kPadded>& pairs, std::size_t k) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(pairs.data() + 2 * k));
    }
    static __m128i Select(__m128i mask, __m128i yes, __m128i no) {
        return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
    }
#endif

    // Per listed entry, red and green, then blue and a zero: the multiply-add's pairs.
    std::array<std::int16_t, 2 * kPadded> redGreen_;
    std::array<std::int16_t, 2 * kPadded> blueNone_;
    const std::array<std::uint8_t, 256>& entries_;
    std::size_t count_;
};

// The largest per-channel Sobel magnitude at (x, y), which has eight neighbours.
int EdgeStrength(const BxPixelLock& lock, const BxColorTable& palette, std::uint32_t x,
                 std::uint32_t y) {
    const std::uint8_t* up = lock.Row(y - 1);
    const std::uint8_t* mid = lock.Row(y);
    const std::uint8_t* down = lock.Row(y + 1);
    const std::uint8_t* colours = palette.Entries();
    const std::size_t count = palette.Count();
    auto channel = [&](std::uint8_t index, int c) {
        return index < count ? int{colours[3 * index + static_cast<std::size_t>(c)]} : 0;
    };
    int strongest = 0;
    for (int c = 0; c < 3; ++c) {
        const int tl = channel(up[x - 1], c), t = channel(up[x], c), tr = channel(up[x + 1], c);
        const int l = channel(mid[x - 1], c), r = channel(mid[x + 1], c);
        const int bl = channel(down[x - 1], c), b = channel(down[x], c),
                  br = channel(down[x + 1], c);
        const int gx = 2 * (r - l) + (tr + br) - (tl + bl);
        const int gy = 2 * (t - b) + (tl + tr) - (bl + br);
        strongest = std::max(strongest, std::min(255, std::abs(gx) + std::abs(gy)));
    }
    return strongest;
}

}  // namespace

void BuildColorMap(const BxColorTable& source, const BxColorTable& target,
                   const BxAllowedSet* allowed, BxIndexMap* map) {
    if (!map) {
        BxRaise(kBxErrMissing);
    }
    map->fill(0);
    const std::size_t sourceCount = std::min<std::size_t>(source.Count(), map->size());
    const std::size_t targetCount = std::min<std::size_t>(target.Count(), 256);
    // The allowed entries in table order, gathered once for every colour to be mapped.
    std::array<std::uint8_t, 256> entries{};
    std::size_t count = 0;
    for (std::size_t j = 0; j < targetCount; ++j) {
        if (!allowed || (*allowed)[j]) {
            entries[count++] = static_cast<std::uint8_t>(j);
        }
    }
    const NearestEntry nearest(target, entries, count);
    for (std::size_t i = 0; i < sourceCount; ++i) {
        (*map)[i] = nearest.Of(source.Entries() + 3 * i);
    }
}

std::unique_ptr<BxIndexedImage> MapToPalette(const BxIndexedImage& image,
                                             const BxColorTable& target,
                                             const BxAllowedSet* allowed) {
    std::unique_ptr<BxImage> copy = image.Clone();
    std::unique_ptr<BxIndexedImage> mapped(static_cast<BxIndexedImage*>(copy.release()));
    BxIndexMap map{};
    BuildColorMap(image.Palette(), target, allowed, &map);
    mapped->SetPalette(target);
    mapped->RemapIndices(&map);
    return mapped;
}

BxAllowedSet SelectEntries(const BxIndexedImage& image, const BxColorTable& palette,
                           std::size_t k) {
    BxIndexCounts counts{};
    image.CountIndices(&counts);
    return SelectEntries(image.Palette(), counts, palette, k);
}

BxAllowedSet SelectEntries(const BxColorTable& imagePalette, const BxIndexCounts& counts,
                           const BxColorTable& palette, std::size_t k) {
    BxAllowedSet allowed{};
    const std::size_t count = std::min<std::size_t>(palette.Count(), allowed.size());
    if (count <= k) {
        std::fill(allowed.begin(), allowed.begin() + static_cast<std::ptrdiff_t>(count), 1);
        return allowed;
    }
    BxQuantOctree octree;
    octree.AddIndexed(imagePalette, counts);
    const BxColorTable wanted = octree.MakePalette(k);
    for (std::size_t q = 0; q < wanted.Count(); ++q) {
        const std::uint8_t* colour = wanted.Entries() + 3 * q;
        std::size_t best = count;
        std::uint32_t bestDistance = kFarther;
        for (std::size_t j = 0; j < count; ++j) {
            if (allowed[j]) {
                continue;
            }
            const std::uint32_t d = DistanceOf(colour, palette.Entries() + 3 * j);
            if (best == count || d < bestDistance) {
                best = j;
                bestDistance = d;
            }
        }
        if (best < count) {
            allowed[best] = 1;
        }
    }
    return allowed;
}

void SmoothDither(BxIndexedImage& image, std::optional<std::uint8_t> transparentIndex) {
    const std::uint32_t width = image.GetWidth();
    const std::uint32_t height = image.GetHeight();
    if (width <= 4 || height <= 1) {
        return;
    }
    const BxColorTable& palette = image.Palette();
    auto colourOf = [&](std::uint8_t index) -> const std::uint8_t* {
        static constexpr std::uint8_t kBlack[3] = {0, 0, 0};
        return index < palette.Count() ? palette.Entries() + 3 * index : kBlack;
    };
    BxPixelLock lock(image);
    const std::uint32_t steps = (width - 3) / 2;
    for (std::uint32_t y = 1; y + 1 < height; ++y) {
        std::uint8_t* row = lock.Row(y);
        for (std::uint32_t step = 0; step < steps; ++step) {
            const std::uint32_t x0 = 2 * step;
            const std::uint8_t e = row[x0];
            const std::uint8_t a = row[x0 + 1];
            const std::uint8_t b = row[x0 + 2];
            const std::uint8_t f = row[x0 + 3];
            if (f != a || a == b || a == e) {
                continue;
            }
            if (transparentIndex && (a == *transparentIndex || b == *transparentIndex)) {
                continue;
            }
            if (EdgeStrength(lock, palette, x0 + 1, y) >= kEdgeStrength ||
                EdgeStrength(lock, palette, x0 + 2, y) >= kEdgeStrength) {
                continue;
            }
            const std::uint8_t* ca = colourOf(a);
            const std::uint8_t* cb = colourOf(b);
            bool close = true;
            for (int c = 0; c < 3; ++c) {
                close = close && std::abs(int{ca[c]} - int{cb[c]}) <= kSwapDifference;
            }
            if (close) {
                row[x0 + 1] = b;
                row[x0 + 2] = a;
            }
        }
    }
}

struct BxQuantRemap::Node {
    std::array<std::unique_ptr<Node>, 8> children;
    std::uint8_t childMask = 0;
    BxAllowedSet admitted{};
};

BxQuantRemap::BxQuantRemap() : serial_(++gRemapSerial) {}

BxQuantRemap::~BxQuantRemap() = default;

void BxQuantRemap::SetPalette(const BxColorTable& palette) {
    palette_ = palette;
}

void BxQuantRemap::BuildTree() {
    root_ = BxMake<Node>();
    const std::size_t count = std::min<std::size_t>(palette_.Count(), 256);
    minimum_ = {255, 255, 255};
    maximum_ = {0, 0, 0};
    for (std::size_t i = 0; i < count; ++i) {
        if (allowed_ && !(*allowed_)[i]) {
            continue;
        }
        const std::uint8_t* c = palette_.Entries() + 3 * i;
        for (int k = 0; k < 3; ++k) {
            minimum_[static_cast<std::size_t>(k)] = std::min<int>(minimum_[k], c[k]);
            maximum_[static_cast<std::size_t>(k)] = std::max<int>(maximum_[k], c[k]);
        }
        Node* node = root_.get();
        node->admitted[i] = 1;
        for (int level = 0; level < 5; ++level) {
            const int bit = 7 - level;
            const auto key = static_cast<std::size_t>(
                (((c[0] >> bit) & 1) << 2) | (((c[1] >> bit) & 1) << 1) | ((c[2] >> bit) & 1));
            if (!node->children[key]) {
                node->children[key] = BxMake<Node>();
                node->childMask = static_cast<std::uint8_t>(node->childMask | (1 << key));
            }
            node = node->children[key].get();
            node->admitted[i] = 1;
        }
    }
}

std::uint8_t BxQuantRemap::Lookup(int red, int green, int blue) const {
    const Node* node = root_.get();
    for (int level = 0; level < 5; ++level) {
        const int bit = 7 - level;
        const auto key = static_cast<std::size_t>(
            (((red >> bit) & 1) << 2) | (((green >> bit) & 1) << 1) | ((blue >> bit) & 1));
        if (!node->children[key]) {
            break;
        }
        node = node->children[key].get();
    }
    const std::uint8_t wanted[3] = {static_cast<std::uint8_t>(red),
                                    static_cast<std::uint8_t>(green),
                                    static_cast<std::uint8_t>(blue)};
    std::uint32_t best = kFarther;
    std::uint8_t chosen = 0;
    const std::size_t count = std::min<std::size_t>(palette_.Count(), 256);
    for (std::size_t i = 0; i < count; ++i) {
        if (node->admitted[i]) {
            const std::uint32_t d = DistanceOf(wanted, palette_.Entries() + 3 * i);
            if (d < best) {
                best = d;
                chosen = static_cast<std::uint8_t>(i);
            }
        }
    }
    return chosen;
}

std::unique_ptr<BxIndexedImage> BxQuantRemap::Run(BxIndexedImage* destination) {
    if (!source_ || palette_.Count() == 0) {
        BxRaise(kBxErrMissing);
    }
    message_ = "Remapping...";
    const std::uint32_t width = source_->GetWidth();
    const std::uint32_t height = source_->GetHeight();
    std::unique_ptr<BxIndexedImage> made;
    BxIndexedImage* result = destination;
    if (!result) {
        made = BxMake<BxIndexedImage>(width, height, &palette_);
        result = made.get();
    } else {
        result->SetPalette(palette_);
        if (result->GetWidth() != width || result->GetHeight() != height) {
            result->SetSize(width, height);
        }
    }
    BuildTree();
    currentRow_ = 0;
    totalRows_ = height;
    if (observer_) {
        observer_->Started(message_, totalRows_);
    }
    const int divisor = (11 - ditherSetting_) * 2;
    // Two rows of carried error, three channels per pixel, plus a guard pixel at each end.
    std::vector<int> errors[2];
    errors[0].assign(3 * (std::size_t{width} + 2), 0);
    errors[1].assign(3 * (std::size_t{width} + 2), 0);
    BxPixelLock in(*source_);
    BxPixelLock out(*result);
    for (std::uint32_t y = 0; y < height; ++y) {
        std::vector<int>& here = errors[y & 1];
        std::vector<int>& below = errors[(y + 1) & 1];
        std::fill(below.begin(), below.end(), 0);
        const bool leftward = (y & 1) == 0;
        const std::uint8_t* sourceRow = in.Row(y);
        std::uint8_t* resultRow = out.Row(y);
        for (std::uint32_t i = 0; i < width; ++i) {
            const std::uint32_t x = leftward ? width - 1 - i : i;
            const std::size_t slot = 3 * (std::size_t{x} + 1);
            int wanted[3];
            for (std::size_t c = 0; c < 3; ++c) {
                int value = sourceRow[3 * x + c];
                if (dither_) {
                    int error = here[slot + c];
                    const bool even = ((x + y) & 1) == 0;
                    if ((even && error > 0) || (!even && error < 0) || value > 246) {
                        error = 0;
                    }
                    if (c == 1) {
                        error /= 2;
                    }
                    value = std::clamp(value + error, minimum_[c], maximum_[c]);
                    here[slot + c] = 0;
                }
                wanted[c] = value;
            }
            const std::uint8_t chosen = Lookup(wanted[0], wanted[1], wanted[2]);
            resultRow[x] = chosen;
            if (dither_ && x > 0 && x + 1 < width) {
                const std::uint8_t* c = palette_.Entries() + 3 * chosen;
                const std::ptrdiff_t ahead = leftward ? -3 : 3;
                for (std::size_t k = 0; k < 3; ++k) {
                    const int diff = int{c[k]} - wanted[k];
                    const auto s = static_cast<std::ptrdiff_t>(slot + k);
                    here[static_cast<std::size_t>(s + ahead)] -= diff * 7 / divisor;
                    below[static_cast<std::size_t>(s + ahead)] -= diff * 1 / divisor;
                    below[static_cast<std::size_t>(s)] -= diff * 5 / divisor;
                    below[static_cast<std::size_t>(s - ahead)] -= diff * 3 / divisor;
                }
            }
        }
        ++currentRow_;
        if (observer_ && observer_->RowDone(currentRow_, totalRows_)) {
            observer_->Ended();
            BxRaise(kBxErrStopped);
        }
    }
    if (observer_) {
        observer_->Ended();
    }
    return made;
}
