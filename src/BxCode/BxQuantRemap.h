// Colours to palette indices: moving an indexed image onto another palette by nearest colour,
// picking the entries of a shared palette that best cover one image, smoothing dither patterns so
// that runs of equal indices grow, and converting a true-colour image with error diffusion.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "BxCode/BxColorTable.h"
#include "BxCode/BxIndexedImage.h"
#include "BxCode/BxRGBImage.h"

// One byte per palette entry; a non-zero byte admits the entry as a target.
using BxAllowedSet = std::array<std::uint8_t, 256>;

// map[i] = the nearest allowed target entry to source colour i (every entry without a set; 0
// when the set admits none).
void BuildColorMap(const BxColorTable& source, const BxColorTable& target,
                   const BxAllowedSet* allowed, BxIndexMap* map);
// A clone of the image on a copy of the target palette, each pixel moved to its nearest allowed
// colour. The given image is not changed.
std::unique_ptr<BxIndexedImage> MapToPalette(const BxIndexedImage& image,
                                             const BxColorTable& target,
                                             const BxAllowedSet* allowed);
// Exactly min(k, count) distinct entries of the palette: those nearest to a k-colour octree
// palette of the image.
BxAllowedSet SelectEntries(const BxIndexedImage& image, const BxColorTable& palette, std::size_t k);
// The same for an image known by its palette and the counts of its indices.
BxAllowedSet SelectEntries(const BxColorTable& imagePalette, const BxIndexCounts& counts,
                           const BxColorTable& palette, std::size_t k);
// Turns isolated alternations E A B A in flat areas into E B A A, in place; places where A or B
// is the transparent index are left alone.
void SmoothDither(BxIndexedImage& image, std::optional<std::uint8_t> transparentIndex);

// What a long remap reports to; answering true to a row stops the run (code 3).
class BxQuantObserver {
  public:
    virtual ~BxQuantObserver() = default;
    virtual void Started(const std::string& message, std::uint32_t totalRows) = 0;
    virtual bool RowDone(std::uint32_t row, std::uint32_t totalRows) = 0;
    virtual void Ended() = 0;
};

// The true-colour remapper: nearest entry through a five-level lookup tree, with optional
// serpentine error diffusion.
class BxQuantRemap {
  public:
    BxQuantRemap();
    ~BxQuantRemap();
    BxQuantRemap(const BxQuantRemap&) = delete;
    BxQuantRemap& operator=(const BxQuantRemap&) = delete;

    std::uint32_t Serial() const { return serial_; }
    void SetPalette(const BxColorTable& palette);
    void SetDither(bool dither) { dither_ = dither ? 1 : 0; }
    void SetSource(const BxRGBImage* source) { source_ = source; }
    void SetAllowed(const BxAllowedSet* allowed) { allowed_ = allowed; }
    void SetObserver(BxQuantObserver* observer) { observer_ = observer; }
    const std::string& Message() const { return message_; }

    // The indexed result, made new or written into `destination` (which then takes the
    // palette); the caller owns a new result. 27 without a source.
    std::unique_ptr<BxIndexedImage> Run(BxIndexedImage* destination = nullptr);

  private:
    struct Node;
    void BuildTree();
    std::uint8_t Lookup(int red, int green, int blue) const;

    std::uint32_t serial_;
    std::uint32_t currentRow_ = 0;
    std::uint32_t totalRows_ = 0;
    BxQuantObserver* observer_ = nullptr;
    std::string message_;
    BxColorTable palette_;
    std::uint8_t dither_ = 1;
    std::uint16_t ditherSetting_ = 2;
    const BxRGBImage* source_ = nullptr;
    const BxAllowedSet* allowed_ = nullptr;
    std::unique_ptr<Node> root_;
    std::array<int, 3> minimum_{};
    std::array<int, 3> maximum_{};
};
