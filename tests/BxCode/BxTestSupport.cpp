#include "BxTestSupport.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <stdexcept>

namespace quillon::test::bx {

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

Bytes Text(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

int MemoryDescriptor(const Bytes& bytes) {
    const int descriptor = memfd_create("bx-test", MFD_CLOEXEC);
    if (descriptor < 0) {
        throw std::runtime_error("memfd_create failed");
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put = ::write(descriptor, bytes.data() + done, bytes.size() - done);
        if (put <= 0) {
            throw std::runtime_error("write to memfd failed");
        }
        done += static_cast<std::size_t>(put);
    }
    ::lseek(descriptor, 0, SEEK_SET);
    return descriptor;
}

Bytes DescriptorBytes(int descriptor) {
    struct stat status {};
    ::fstat(descriptor, &status);
    Bytes bytes(static_cast<std::size_t>(status.st_size));
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t got =
            ::pread(descriptor, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (got <= 0) {
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    bytes.resize(done);
    return bytes;
}

ReadResult ReadGif(const Bytes& bytes) {
    ReadResult result;
    result.file = std::make_unique<BxGIFFile>();
    result.file->Open(BxFile::kReadable, true, MemoryDescriptor(bytes));
    const std::uint32_t count = result.file->GetFrameCount();
    for (std::uint32_t i = 0; i < count; ++i) {
        std::unique_ptr<BxImage> image = result.file->ReadFrame();
        result.frames.emplace_back(static_cast<BxIndexedImage*>(image.release()));
    }
    return result;
}

const BxGIFFrameInfo& InfoOf(const BxIndexedImage& image) {
    const auto* info = dynamic_cast<const BxGIFFrameInfo*>(image.GetFormatInfo());
    if (!info) {
        throw std::runtime_error("image without a GIF frame record");
    }
    return *info;
}

Bytes PixelBytes(const BxIndexedImage& image) {
    Bytes pixels;
    BxPixelLock lock(image);
    for (std::uint32_t y = 0; y < image.GetHeight(); ++y) {
        pixels.insert(pixels.end(), lock.Row(y), lock.Row(y) + image.GetWidth());
    }
    return pixels;
}

Bytes WriteGif(std::uint32_t screenWidth, std::uint32_t screenHeight, const BxGIFGlobalInfo& global,
               const std::vector<const BxIndexedImage*>& frames) {
    const int descriptor = memfd_create("bx-test-out", MFD_CLOEXEC);
    BxGIFFile file;
    file.SetScreenSize(screenWidth, screenHeight);
    file.SetGlobalInfo(global.Clone());
    file.SetFrameCount(static_cast<std::uint32_t>(frames.size()));
    file.Open(BxFile::kWritable, false, descriptor);
    for (const BxIndexedImage* frame : frames) {
        if (frame->GetFormatInfo()) {
            file.WriteNextFrame(*frame, *frame->GetFormatInfo());
        } else {
            file.WriteNextFrame(*frame);
        }
    }
    file.Close();
    Bytes bytes = DescriptorBytes(descriptor);
    ::close(descriptor);
    return bytes;
}

Bytes WriteBack(const ReadResult& read) {
    std::vector<const BxIndexedImage*> frames;
    for (const auto& frame : read.frames) {
        frames.push_back(frame.get());
    }
    return WriteGif(read.file->GetScreenWidth(), read.file->GetScreenHeight(),
                    *read.file->GetGIFGlobalInfo(), frames);
}

}  // namespace quillon::test::bx
