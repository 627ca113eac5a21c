// Arbitrary bytes through the GIF reader and writer: open, index and read every frame, write each
// to a counting file, and write each to a real file that is read back, whose pixels must equal
// the frames read (a difference aborts, as a crash would). Only BxErrorCode may leave the
// library.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "BxCode/BxGIFFile.h"
#include "BxCode/BxIndexedImage.h"

namespace {

int DescriptorWith(const std::uint8_t* data, std::size_t size) {
    const int descriptor = memfd_create("fuzz-gif", MFD_CLOEXEC);
    if (descriptor < 0) {
        std::abort();
    }
    std::size_t done = 0;
    while (done < size) {
        const ssize_t put = ::write(descriptor, data + done, size - done);
        if (put <= 0) {
            std::abort();
        }
        done += static_cast<std::size_t>(put);
    }
    ::lseek(descriptor, 0, SEEK_SET);
    return descriptor;
}

// Pixels at or above the clear code are the caller's to avoid; such frames cannot round-trip.
bool Encodable(const BxIndexedImage& image) {
    const std::size_t count = image.Palette().Count();
    unsigned width = 2;
    while ((std::size_t{1} << width) < count) {
        ++width;
    }
    const std::uint8_t* pixels = image.Buffer().Address();
    const std::size_t bytes = std::size_t{image.GetWidth()} * image.GetHeight();
    for (std::size_t i = 0; i < bytes; ++i) {
        if ((pixels[i] >> width) != 0) {
            return false;
        }
    }
    return true;
}

void CheckRoundTrip(const BxGIFFile& source, const std::vector<std::unique_ptr<BxImage>>& frames) {
    const int descriptor = memfd_create("fuzz-gif-out", MFD_CLOEXEC);
    {
        BxGIFFile out;
        out.SetScreenSize(source.GetScreenWidth(), source.GetScreenHeight());
        out.SetGlobalInfo(source.CloneGlobalInfo());
        out.SetFrameCount(static_cast<std::uint32_t>(frames.size()));
        out.Open(BxFile::kWritable, false, descriptor);
        for (const auto& frame : frames) {
            out.WriteNextFrame(*frame, *frame->GetFormatInfo());
        }
        out.Close();
    }
    ::lseek(descriptor, 0, SEEK_SET);
    BxGIFFile back;
    back.Open(BxFile::kReadable, true, descriptor);
    if (back.GetFrameCount() != frames.size()) {
        std::abort();
    }
    for (const auto& frame : frames) {
        const auto image = back.ReadFrame();
        const auto& original = static_cast<const BxIndexedImage&>(*frame);
        const auto& again = static_cast<const BxIndexedImage&>(*image);
        const std::size_t bytes = std::size_t{original.GetWidth()} * original.GetHeight();
        if (again.GetWidth() != original.GetWidth() || again.GetHeight() != original.GetHeight()) {
            std::abort();
        }
        for (std::size_t i = 0; i < bytes; ++i) {
            if (again.Buffer().Address()[i] != original.Buffer().Address()[i]) {
                std::abort();
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Frames kept for the round trip stay within this many pixel bytes, and only frames up to
    // kWrittenPixels are written at all: a few bytes may declare a frame of up to 256 MiB, which
    // reads quickly (the data soon ends) but takes seconds to compress under the sanitizers.
    constexpr std::size_t kKeptPixels = 16 << 20;
    constexpr std::size_t kWrittenPixels = 4 << 20;
    try {
        BxGIFFile in;
        in.Open(BxFile::kReadable, true, DescriptorWith(data, size));
        BxGIFFile counting;
        counting.SetScreenSize(in.GetScreenWidth(), in.GetScreenHeight());
        counting.SetGlobalInfo(in.CloneGlobalInfo());
        counting.SetFrameCount(in.GetFrameCount());
        counting.Open(BxFile::kWritable | BxFile::kCounting);
        std::vector<std::unique_ptr<BxImage>> kept;
        std::size_t keptPixels = 0;
        bool roundTrip = true;
        const std::uint32_t count = in.GetFrameCount();
        for (std::uint32_t i = 0; i < count; ++i) {
            std::unique_ptr<BxImage> frame = in.ReadFrame();
            const auto& indexed = static_cast<const BxIndexedImage&>(*frame);
            const std::size_t pixels = std::size_t{indexed.GetWidth()} * indexed.GetHeight();
            if (pixels > kWrittenPixels) {
                roundTrip = false;
                continue;
            }
            counting.WriteNextFrame(*frame, *frame->GetFormatInfo());
            keptPixels += pixels;
            roundTrip = roundTrip && keptPixels <= kKeptPixels && Encodable(indexed);
            if (roundTrip) {
                kept.push_back(std::move(frame));
            }
        }
        counting.Close();
        if (roundTrip && !kept.empty()) {
            CheckRoundTrip(in, kept);
        }
        in.Close();
    } catch (const BxErrorCode&) {
        // A refusal is a defined result.
    }
    return 0;
}
