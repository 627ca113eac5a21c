// Arbitrary bytes as a .gif file through the pipeline's GIF stage, end to end on a real file. The
// stage may refuse the file or keep it, and then the file must be byte for byte what it was; when
// it rewrites the file, the new file must be shorter, our reader must read it whole, and giflib
// must read it whole, with the same screen and the same number of frames, whenever giflib reads
// the input whole (giflib refuses some files browsers show, such as frames of no pixels, and the
// stage keeps what it was given).
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "BxCode/BxErrorCode.h"
#include "BxCode/BxGIFFile.h"
#include "GifReference.h"
#include "imageopt/GifOptimizer.h"
#include "pipeline/FileIO.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

class QuietHost : public quillon::GifStageHost {
  public:
    void SetStatus(std::string_view) override {}
    void WriteErrorLog(std::string_view) override {}
    void ReplaceFile(const std::string& path, const std::uint8_t* data,
                     std::uint32_t size) override {
        quillon::WriteWholeFile(path, data, size);
    }
};

// One file per fuzzing process, in memory-backed storage when the machine has it, removed with
// its folder when the process ends.
class WorkFolder {
  public:
    WorkFolder() {
        folder_ = std::filesystem::exists("/dev/shm") ? std::filesystem::path("/dev/shm")
                                                      : std::filesystem::temp_directory_path();
        folder_ /= "quillon-fuzz-gifstage-" + std::to_string(::getpid());
        std::filesystem::create_directories(folder_);
        file_ = (folder_ / "page.gif").string();
    }
    ~WorkFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    const std::string& File() const { return file_; }

  private:
    std::filesystem::path folder_;
    std::string file_;
};

const std::string& WorkFile() {
    static const WorkFolder folder;
    return folder.File();
}

void Put(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out) {
        std::abort();
    }
}

Bytes Get(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void CheckUnchanged(const std::string& path, const std::uint8_t* data, std::size_t size) {
    if (Get(path) != Bytes(data, data + size)) {
        std::abort();
    }
}

void CheckReadable(const std::string& path, std::uint32_t length, const Bytes& input) {
    const Bytes written = Get(path);
    if (written.size() != length) {
        std::abort();
    }
    std::uint32_t ourFrames = 0;
    std::uint32_t ourWidth = 0;
    std::uint32_t ourHeight = 0;
    try {
        BxGIFFile file;
        file.SetPath(path.c_str());
        file.Open(BxFile::kReadable);
        ourFrames = file.GetFrameCount();
        ourWidth = file.GetScreenWidth();
        ourHeight = file.GetScreenHeight();
        for (std::uint32_t i = 0; i < ourFrames; ++i) {
            file.ReadFrame();
        }
        file.Close();
    } catch (const BxErrorCode&) {
        std::abort();  // the stage wrote a file we cannot read back
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
    const std::string& path = WorkFile();
    Put(path, data, size);
    QuietHost host;
    const auto before = static_cast<std::uint32_t>(size);
    std::uint32_t after = before;
    try {
        after = quillon::OptimizeGifFile(host, path, before);
    } catch (const BxErrorCode&) {
        // Abandoned: the file must be as it was.
    }
    if (after > before) {
        std::abort();
    }
    if (after == before) {
        CheckUnchanged(path, data, size);
    } else {
        CheckReadable(path, after, Bytes(data, data + size));
    }
    return 0;
}
