// giflib as the independent judge of GIF bytes: decodes a whole file from memory, and encodes
// plain frames for the benchmarks' and tests' comparisons. Only the tests link giflib.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quillon::test::gif {

using Bytes = std::vector<std::uint8_t>;

struct ReferenceFrame {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool interlaced = false;
    bool hasLocalTable = false;
    Bytes palette;  // the table that applies (local, else global), 3 bytes per colour
    Bytes pixels;   // width x height, rows top to bottom
    bool hasGraphicControl = false;
    int disposal = 0;
    int delay = 0;
    bool userInput = false;
    bool transparent = false;
    int transparentIndex = 0;
};

struct ReferenceImage {
    bool ok = false;    // every record and every pixel decoded
    std::string error;  // giflib's complaint when not ok
    int screenWidth = 0;
    int screenHeight = 0;
    Bytes globalPalette;
    std::vector<Bytes> comments;  // each comment extension's sub-blocks joined, in file order
    std::vector<ReferenceFrame> frames;
};

// Walks the records with giflib and reads each frame line by line (interlaced frames in pass
// order into their rows).
ReferenceImage DecodeWithGiflib(const Bytes& file);

// giflib's encoding of one frame: EGifPutScreenDesc, EGifPutImageDesc, EGifPutLine per row.
Bytes EncodeWithGiflib(int width, int height, const Bytes& palette, const Bytes& pixels);

}  // namespace quillon::test::gif
