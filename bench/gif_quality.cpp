// Size and fidelity of the GIF stage beside gifsicle: each GIF is optimized by both, the results
// are decoded with giflib, composited frame by frame and compared with the original's frames.
// Usage: gif_quality <folder of GIFs> <work folder> [gifsicle command]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "BxCode/BxAnimation.h"
#include "BxCode/BxErrorCode.h"
#include "GifComposite.h"
#include "imageopt/GifOptimizer.h"
#include "pipeline/FileIO.h"

namespace fs = std::filesystem;
using quillon::test::gif::Bytes;

namespace {

Bytes Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// The stage as the pipeline runs it, the smaller result written over the copy.
void RunOurs(const fs::path& copy) {
    try {
        const quillon::GifStageResult result = quillon::OptimizeGif(Read(copy), nullptr);
        if (!result.bytes.empty()) {
            quillon::WriteWholeFile(copy, result.bytes.data(),
                                    static_cast<std::uint32_t>(result.bytes.size()));
        }
    } catch (...) {
        // A file the stage abandons stays as it was.
    }
}

struct Fidelity {
    bool compared = false;
    double worst = 99.0;
    std::vector<double> frames;  // every original frame's PSNR
};

// When each frame starts showing, in hundredths of a second.
std::vector<long> StartTimes(const quillon::test::gif::ReferenceImage& image) {
    std::vector<long> starts;
    long time = 0;
    for (const auto& frame : image.frames) {
        starts.push_back(time);
        time += frame.delay;
    }
    return starts;
}

// Frame by frame when the counts agree; otherwise (an optimizer that merged frames) each original
// frame against the result frame on screen when the original frame starts.
Fidelity Compare(const quillon::test::gif::ReferenceImage& image,
                 const std::vector<Bytes>& original, const fs::path& result) {
    Fidelity fidelity;
    const auto decoded = quillon::test::gif::DecodeWithGiflib(Read(result));
    if (!decoded.ok || original.empty()) {
        return fidelity;
    }
    const std::vector<Bytes> shown = quillon::test::gif::CompositeFrames(decoded);
    fidelity.compared = true;
    const std::vector<long> originalStarts = StartTimes(image);
    const std::vector<long> resultStarts = StartTimes(decoded);
    for (std::size_t i = 0; i < original.size(); ++i) {
        std::size_t j = i;
        if (shown.size() != original.size()) {
            j = 0;
            while (j + 1 < shown.size() && resultStarts[j + 1] <= originalStarts[i]) {
                ++j;
            }
        }
        const double psnr = j < shown.size() ? quillon::test::gif::Psnr(original[i], shown[j]) : 0;
        fidelity.worst = std::min(fidelity.worst, psnr);
        fidelity.frames.push_back(psnr);
    }
    return fidelity;
}

double Median(std::vector<double> values) {
    if (values.empty()) {
        return 0.0;
    }
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double Seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <gif folder> <work folder> [gifsicle]\n", argv[0]);
        return 2;
    }
    const fs::path corpus = argv[1];
    const fs::path work = argv[2];
    const std::string gifsicle = argc > 3 ? argv[3] : "gifsicle";
    fs::create_directories(work / "ours");
    fs::create_directories(work / "gifsicle");
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(corpus)) {
        if (entry.is_regular_file() && entry.path().extension() == ".gif") {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());

    std::uint64_t totalBefore = 0, totalOurs = 0, totalTheirs = 0;
    std::chrono::steady_clock::duration timeOurs{}, timeTheirs{};
    std::vector<double> worstOurs, worstTheirs, framesOurs, framesTheirs;
    // Per-file worst of the files that either tool changed visibly: where quantization shows.
    std::vector<double> lossyOurs, lossyTheirs;
    std::printf("%-56s %9s %9s %9s %8s %8s\n", "file", "before", "ours", "gifsicle", "dB ours",
                "dB gs");
    for (const fs::path& file : files) {
        const std::uint64_t before = fs::file_size(file);
        const fs::path ours = work / "ours" / file.filename();
        const fs::path theirs = work / "gifsicle" / file.filename();
        fs::copy_file(file, ours, fs::copy_options::overwrite_existing);

        auto start = std::chrono::steady_clock::now();
        RunOurs(ours);
        timeOurs += std::chrono::steady_clock::now() - start;

        const std::string command = gifsicle + " -O3 --colors 128 '" + file.string() + "' -o '" +
                                    theirs.string() + "' 2>/dev/null";
        start = std::chrono::steady_clock::now();
        const int status = std::system(command.c_str());
        timeTheirs += std::chrono::steady_clock::now() - start;
        // Like the pipeline, keep the original when the result is not smaller.
        if (status != 0 || !fs::exists(theirs) || fs::file_size(theirs) >= before) {
            fs::copy_file(file, theirs, fs::copy_options::overwrite_existing);
        }

        const std::uint64_t sizeOurs = fs::file_size(ours);
        const std::uint64_t sizeTheirs = fs::file_size(theirs);
        totalBefore += before;
        totalOurs += sizeOurs;
        totalTheirs += sizeTheirs;

        const auto original = quillon::test::gif::DecodeWithGiflib(Read(file));
        const std::vector<Bytes> shown =
            original.ok ? quillon::test::gif::CompositeFrames(original) : std::vector<Bytes>{};
        const Fidelity a = Compare(original, shown, ours);
        const Fidelity b = Compare(original, shown, theirs);
        if (a.compared) {
            worstOurs.push_back(a.worst);
            framesOurs.insert(framesOurs.end(), a.frames.begin(), a.frames.end());
        }
        if (b.compared) {
            worstTheirs.push_back(b.worst);
            framesTheirs.insert(framesTheirs.end(), b.frames.begin(), b.frames.end());
        }
        if (a.compared && b.compared && (a.worst < 99.0 || b.worst < 99.0)) {
            lossyOurs.push_back(a.worst);
            lossyTheirs.push_back(b.worst);
        }
        char dbOurs[16] = "-", dbTheirs[16] = "-";
        if (a.compared) {
            std::snprintf(dbOurs, sizeof dbOurs, "%.1f", a.worst);
        }
        if (b.compared) {
            std::snprintf(dbTheirs, sizeof dbTheirs, "%.1f", b.worst);
        }
        std::printf("%-56s %9llu %9llu %9llu %8s %8s\n", file.filename().string().c_str(),
                    static_cast<unsigned long long>(before),
                    static_cast<unsigned long long>(sizeOurs),
                    static_cast<unsigned long long>(sizeTheirs), dbOurs, dbTheirs);
    }
    const double worstA =
        worstOurs.empty() ? 0 : *std::min_element(worstOurs.begin(), worstOurs.end());
    const double worstB =
        worstTheirs.empty() ? 0 : *std::min_element(worstTheirs.begin(), worstTheirs.end());
    // Identical frames count as 99 dB, so the medians also show how many files stay exact.
    std::printf(
        "summary: %zu files, %llu bytes before; ours %llu bytes, %.2f s, frame PSNR median %.1f dB "
        "worst %.1f dB (median of per-file worst %.1f dB); gifsicle %llu bytes, %.2f s, frame PSNR "
        "median %.1f dB worst %.1f dB (median of per-file worst %.1f dB); %zu frames compared\n",
        files.size(), static_cast<unsigned long long>(totalBefore),
        static_cast<unsigned long long>(totalOurs), Seconds(timeOurs), Median(framesOurs), worstA,
        Median(worstOurs), static_cast<unsigned long long>(totalTheirs), Seconds(timeTheirs),
        Median(framesTheirs), worstB, Median(worstTheirs), framesOurs.size());
    std::printf(
        "lossy files (%zu, changed visibly by either): median of per-file worst PSNR ours "
        "%.1f dB, gifsicle %.1f dB\n",
        lossyOurs.size(), Median(lossyOurs), Median(lossyTheirs));
    return 0;
}
