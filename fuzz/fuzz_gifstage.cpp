// Arbitrary bytes through the GIF stage. The stage may refuse the input, or keep it; when it gives
// new bytes they must be fewer, our reader must read them whole, and giflib must read them whole,
// with the same screen and the same number of frames, whenever giflib reads the input whole
// (giflib refuses some files browsers show, such as frames of no pixels, and the stage keeps what
// it was given).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "BxCode/BxErrorCode.h"
#include "BxCode/BxGIFFile.h"
#include "GifReference.h"
#include "imageopt/GifOptimizer.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

void CheckReadable(const Bytes& written, const Bytes& input) {
    std::uint32_t ourFrames = 0;
    std::uint32_t ourWidth = 0;
    std::uint32_t ourHeight = 0;
    try {
        BxGIFFile file;
        file.SetBytes(written);
        file.Open(BxFile::kReadable | BxFile::kMemory);
        ourFrames = file.GetFrameCount();
        ourWidth = file.GetScreenWidth();
        ourHeight = file.GetScreenHeight();
        for (std::uint32_t i = 0; i < ourFrames; ++i) {
            file.ReadFrame();
        }
        file.Close();
    } catch (const BxErrorCode&) {
        std::abort();  // the stage gave bytes we cannot read back
    }
    const auto original = quillon::test::gif::DecodeWithGiflib(input);
    if (!original.ok) {
        return;
    }
    const auto reference = quillon::test::gif::DecodeWithGiflib(written);
    if (!reference.ok || reference.frames.size() != ourFrames ||
        reference.frames.size() != original.frames.size() ||
        static_cast<std::uint32_t>(reference.screenWidth) != ourWidth ||
        static_cast<std::uint32_t>(reference.screenHeight) != ourHeight) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Bytes input(data, data + size);
    quillon::GifStageResult result;
    try {
        result = quillon::OptimizeGif(input, nullptr);
    } catch (const BxErrorCode&) {
        return 0;  // abandoned: the pipeline leaves the file as it was
    }
    if (result.bytes.empty()) {
        return 0;
    }
    if (result.bytes.size() >= size) {
        std::abort();
    }
    CheckReadable(result.bytes, input);
    return 0;
}
