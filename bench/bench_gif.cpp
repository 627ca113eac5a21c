// GIF LZW throughput in megabytes of pixels per second over the corpus GIFs, ours beside
// giflib's in the same binary. "LZW" rows run the codec alone on each frame's data in memory;
// "File" rows read or write whole files the way the optimizer does.
#include <benchmark/benchmark.h>
#include <gif_lib.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include "BxCode/BxGIFFile.h"
#include "BxCode/BxIndexedImage.h"
#include "BxCode/BxLZWDecoder.h"
#include "BxCode/BxLZWEncoder.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Frame {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    unsigned codeWidth = 2;  // the frame's colour table width, as the writer encodes with
    Bytes pixels;
    Bytes lzw;  // minimum code size byte, sub-blocks and terminator, as stored in the file
};

struct CorpusFile {
    Bytes bytes;
    std::vector<Frame> frames;
    std::int64_t pixels = 0;
};

Bytes ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int Descriptor(const Bytes& bytes) {
    const int descriptor = memfd_create("bench-gif", MFD_CLOEXEC);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put = ::write(descriptor, bytes.data() + done, bytes.size() - done);
        if (put <= 0) {
            break;
        }
        done += static_cast<std::size_t>(put);
    }
    ::lseek(descriptor, 0, SEEK_SET);
    return descriptor;
}

// The stored LZW data of a frame: from its minimum code size byte to the terminator.
Bytes LzwDataAt(const Bytes& file, std::size_t at) {
    const std::size_t start = at;
    ++at;
    while (at < file.size() && file[at] != 0) {
        at += 1 + std::size_t{file[at]};
    }
    return Bytes(file.begin() + static_cast<std::ptrdiff_t>(start),
                 file.begin() + static_cast<std::ptrdiff_t>(std::min(at + 1, file.size())));
}

std::vector<CorpusFile> LoadCorpus() {
    std::vector<std::filesystem::path> paths;
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::path(QUILLON_CORPUS_DIR) / "gif";
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        if (entry.is_regular_file() && entry.path().extension() == ".gif") {
            paths.push_back(entry.path());
        }
    }
    std::sort(paths.begin(), paths.end());
    std::vector<CorpusFile> corpus;
    for (const auto& path : paths) {
        CorpusFile file;
        file.bytes = ReadFile(path);
        try {
            BxGIFFile gif;
            gif.Open(BxFile::kReadable, true, Descriptor(file.bytes));
            for (std::uint32_t i = 0; i < gif.GetFrameCount(); ++i) {
                const std::int64_t descriptor = gif.FrameIndex()[i].imagePosition;
                auto image = gif.ReadFrame();
                const auto& indexed = static_cast<const BxIndexedImage&>(*image);
                const auto& info = static_cast<const BxGIFFrameInfo&>(*indexed.GetFormatInfo());
                Frame frame;
                frame.width = indexed.GetWidth();
                frame.height = indexed.GetHeight();
                frame.codeWidth = BxGIFCodeWidth(indexed.Palette().Count());
                frame.pixels.assign(
                    indexed.Buffer().Address(),
                    indexed.Buffer().Address() + std::size_t{frame.width} * frame.height);
                const std::size_t table = info.hasLocalTable ? 3 * info.localTable.Count() : 0;
                frame.lzw = LzwDataAt(file.bytes, static_cast<std::size_t>(descriptor) + 9 + table);
                file.pixels += static_cast<std::int64_t>(frame.pixels.size());
                file.frames.push_back(std::move(frame));
            }
        } catch (const BxErrorCode&) {
            continue;
        }
        // Files giflib cannot read (minimum code size 11) are left out of every row alike.
        int giflibError = 0;
        struct Input {
            const Bytes* bytes;
            std::size_t at;
        } input{&file.bytes, 0};
        GifFileType* gif = DGifOpen(
            &input,
            [](GifFileType* g, GifByteType* to, int count) {
                auto* in = static_cast<Input*>(g->UserData);
                const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(count),
                                                            in->bytes->size() - in->at);
                std::memcpy(to, in->bytes->data() + in->at, n);
                in->at += n;
                return static_cast<int>(n);
            },
            &giflibError);
        const bool giflibReads = gif && DGifSlurp(gif) == GIF_OK;
        if (gif) {
            DGifCloseFile(gif, &giflibError);
        }
        if (giflibReads && file.pixels > 0) {
            corpus.push_back(std::move(file));
        }
    }
    return corpus;
}

const std::vector<CorpusFile>& Corpus() {
    static const std::vector<CorpusFile> corpus = LoadCorpus();
    return corpus;
}

std::int64_t CorpusPixels() {
    std::int64_t total = 0;
    for (const CorpusFile& file : Corpus()) {
        total += file.pixels;
    }
    return total;
}

std::size_t LargestFrame() {
    std::size_t largest = 0;
    for (const CorpusFile& file : Corpus()) {
        for (const Frame& frame : file.frames) {
            largest = std::max(largest, frame.pixels.size());
        }
    }
    return largest;
}

// ---- decoding -----------------------------------------------------------------------------------

void BM_DecodeLZW_Ours(benchmark::State& state) {
    Bytes rows(LargestFrame() + 1);
    for (auto _ : state) {
        for (const CorpusFile& file : Corpus()) {
            for (const Frame& frame : file.frames) {
                BxMemorySource source(frame.lzw);
                BxLZWDecoder decoder;
                decoder.Start(source);
                decoder.DecodeRows(rows.data(), frame.width, frame.height, frame.width);
                decoder.End();
            }
        }
        benchmark::DoNotOptimize(rows.data());
    }
    state.SetBytesProcessed(state.iterations() * CorpusPixels());
}
BENCHMARK(BM_DecodeLZW_Ours)->Unit(benchmark::kMillisecond);

struct MemoryInput {
    const Bytes* bytes;
    std::size_t at;
};

int ReadMemory(GifFileType* gif, GifByteType* to, int count) {
    auto* input = static_cast<MemoryInput*>(gif->UserData);
    const std::size_t n =
        std::min<std::size_t>(static_cast<std::size_t>(count), input->bytes->size() - input->at);
    std::memcpy(to, input->bytes->data() + input->at, n);
    input->at += n;
    return static_cast<int>(n);
}

// giflib's own loop: records, descriptors and DGifGetLine per row, from memory.
void DecodeWithGiflib(const Bytes& bytes, Bytes& rows) {
    MemoryInput input{&bytes, 0};
    int error = 0;
    GifFileType* gif = DGifOpen(&input, ReadMemory, &error);
    GifRecordType type = UNDEFINED_RECORD_TYPE;
    while (DGifGetRecordType(gif, &type) == GIF_OK && type != TERMINATE_RECORD_TYPE) {
        if (type == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* block = nullptr;
            DGifGetExtension(gif, &code, &block);
            while (block) {
                DGifGetExtensionNext(gif, &block);
            }
        } else if (type == IMAGE_DESC_RECORD_TYPE) {
            DGifGetImageDesc(gif);
            const int width = gif->Image.Width;
            for (int y = 0; y < gif->Image.Height; ++y) {
                DGifGetLine(gif, rows.data() + static_cast<std::size_t>(y) * width, width);
            }
        }
    }
    DGifCloseFile(gif, &error);
}

void BM_DecodeFile_Giflib(benchmark::State& state) {
    Bytes rows(LargestFrame() + 1);
    for (auto _ : state) {
        for (const CorpusFile& file : Corpus()) {
            DecodeWithGiflib(file.bytes, rows);
        }
        benchmark::DoNotOptimize(rows.data());
    }
    state.SetBytesProcessed(state.iterations() * CorpusPixels());
}
BENCHMARK(BM_DecodeFile_Giflib)->Unit(benchmark::kMillisecond);

// The optimizer's reading: open (header and frame index), then every frame into an image.
void BM_DecodeFile_Ours(benchmark::State& state) {
    std::vector<int> descriptors;
    for (const CorpusFile& file : Corpus()) {
        descriptors.push_back(Descriptor(file.bytes));
    }
    for (auto _ : state) {
        for (int descriptor : descriptors) {
            ::lseek(descriptor, 0, SEEK_SET);
            BxGIFFile gif;
            gif.Open(BxFile::kReadable, false, descriptor);
            for (std::uint32_t i = 0; i < gif.GetFrameCount(); ++i) {
                benchmark::DoNotOptimize(gif.ReadFrame());
            }
            gif.Close();
        }
    }
    for (int descriptor : descriptors) {
        ::close(descriptor);
    }
    state.SetBytesProcessed(state.iterations() * CorpusPixels());
}
BENCHMARK(BM_DecodeFile_Ours)->Unit(benchmark::kMillisecond);

// ---- encoding -----------------------------------------------------------------------------------

class CountingSink : public BxByteSink {
  public:
    void Write(const void*, std::size_t count) override { bytes_ += count; }
    void WriteByte(std::uint8_t) override { ++bytes_; }
    std::size_t bytes_ = 0;
};

void BM_EncodeLZW_Ours(benchmark::State& state) {
    CountingSink sink;
    for (auto _ : state) {
        for (const CorpusFile& file : Corpus()) {
            for (const Frame& frame : file.frames) {
                BxLZWEncoder encoder;
                encoder.Start(sink, frame.codeWidth);
                encoder.EncodeRows(frame.pixels.data(), frame.width, frame.height, frame.width);
                encoder.End();
            }
        }
    }
    benchmark::DoNotOptimize(sink.bytes_);
    state.SetBytesProcessed(state.iterations() * CorpusPixels());
}
BENCHMARK(BM_EncodeLZW_Ours)->Unit(benchmark::kMillisecond);

int CountOutput(GifFileType* gif, const GifByteType*, int count) {
    *static_cast<std::size_t*>(gif->UserData) += static_cast<std::size_t>(count);
    return count;
}

// giflib's encoder on the same frames, each as a one-frame file with a table of its width.
void BM_EncodeLZW_Giflib(benchmark::State& state) {
    std::size_t written = 0;
    Bytes row(LargestFrame() + 1);
    for (auto _ : state) {
        for (const CorpusFile& file : Corpus()) {
            for (const Frame& frame : file.frames) {
                int error = 0;
                GifFileType* gif = EGifOpen(&written, CountOutput, &error);
                ColorMapObject* map = GifMakeMapObject(1 << frame.codeWidth, nullptr);
                EGifPutScreenDesc(gif, static_cast<int>(frame.width),
                                  static_cast<int>(frame.height), static_cast<int>(frame.codeWidth),
                                  0, map);
                EGifPutImageDesc(gif, 0, 0, static_cast<int>(frame.width),
                                 static_cast<int>(frame.height), false, nullptr);
                for (std::uint32_t y = 0; y < frame.height; ++y) {
                    // giflib masks the row it is given in place, so it gets a copy.
                    std::memcpy(row.data(), frame.pixels.data() + std::size_t{y} * frame.width,
                                frame.width);
                    EGifPutLine(gif, row.data(), static_cast<int>(frame.width));
                }
                GifFreeMapObject(map);
                EGifCloseFile(gif, &error);
            }
        }
    }
    benchmark::DoNotOptimize(written);
    state.SetBytesProcessed(state.iterations() * CorpusPixels());
}
BENCHMARK(BM_EncodeLZW_Giflib)->Unit(benchmark::kMillisecond);

// The optimizer's measuring: every frame written to a counting file.
void BM_EncodeFile_Ours(benchmark::State& state) {
    std::vector<std::vector<std::unique_ptr<BxImage>>> images;
    std::vector<std::unique_ptr<BxImgFmtGlobalInfo>> globals;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> screens;
    for (const CorpusFile& file : Corpus()) {
        BxGIFFile gif;
        gif.Open(BxFile::kReadable, true, Descriptor(file.bytes));
        images.emplace_back();
        for (std::uint32_t i = 0; i < gif.GetFrameCount(); ++i) {
            images.back().push_back(gif.ReadFrame());
        }
        globals.push_back(gif.CloneGlobalInfo());
        screens.emplace_back(gif.GetScreenWidth(), gif.GetScreenHeight());
    }
    std::int64_t length = 0;
    for (auto _ : state) {
        for (std::size_t f = 0; f < images.size(); ++f) {
            BxGIFFile out;
            out.SetScreenSize(screens[f].first, screens[f].second);
            out.SetGlobalInfo(globals[f]->Clone());
            out.SetFrameCount(static_cast<std::uint32_t>(images[f].size()));
            out.Open(BxFile::kWritable | BxFile::kCounting);
            for (const auto& image : images[f]) {
                out.WriteNextFrame(*image, *image->GetFormatInfo());
            }
            length += out.GetLength();
            out.Close();
        }
    }
    benchmark::DoNotOptimize(length);
    state.SetBytesProcessed(state.iterations() * CorpusPixels());
}
BENCHMARK(BM_EncodeFile_Ours)->Unit(benchmark::kMillisecond);

}  // namespace
