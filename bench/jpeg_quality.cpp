// Size, fidelity and time of the JPEG stage beside jpegtran and jpegoptim: each JPEG is optimized
// by all three in turn (the order rotating from file to file and round to round, so the machine's
// load falls on each alike), the results are decoded with libjpeg-turbo and compared with the
// original's pixels.
// Usage: jpeg_quality <folder of JPEGs> <work folder> [rounds]
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "ReferenceDecoder.h"
#include "imageopt/JpegOptimizer.h"

extern char** environ;

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

namespace {

Bytes Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void Write(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

// The stage as the pipeline runs it: the file read, optimized and written out.
void RunOurs(const fs::path& file, const fs::path& result) {
    Bytes bytes = Read(file);
    const std::uint32_t length =
        quillon::OptimizeJpeg(bytes, quillon::JpegRecompression::kProgressive);
    bytes.resize(length);
    Write(result, bytes);
}

// Runs a program without a shell in between, its output thrown away, and waits for it; what it
// wrote is judged afterwards.
void Spawn(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int failed = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (failed == 0) {
        waitpid(pid, &status, 0);
    }
}

enum Tool { kOurs, kJpegtran, kJpegoptim, kStartup, kToolCount };
constexpr std::array<const char*, kToolCount> kToolNames = {"quillon", "jpegtran", "jpegoptim",
                                                            "jpegtran -version"};

struct Paths {
    fs::path file, ours, jpegtran, jpegoptimDir, jpegoptim;
};

void RunTool(Tool tool, const Paths& p) {
    switch (tool) {
        case kOurs:
            RunOurs(p.file, p.ours);
            break;
        case kJpegtran:
            Spawn({"jpegtran", "-copy", "none", "-progressive", "-outfile", p.jpegtran.string(),
                   p.file.string()});
            break;
        case kJpegoptim:
            // jpegoptim writes nothing when its result is not smaller.
            fs::remove(p.jpegoptim);
            Spawn({"jpegoptim", "--strip-all", "--all-progressive", "-q",
                   "--dest=" + p.jpegoptimDir.string(), p.file.string()});
            break;
        case kStartup:
            // What starting the program costs, before it reads a byte: jpegtran's time includes
            // it, the stage's does not.
            Spawn({"jpegtran", "-version"});
            break;
        case kToolCount:
            break;
    }
}

// The restart interval the header sets, in MCUs (0 for none). The stage keeps it on purpose: the
// markers let a decoder resume after damaged data.
unsigned RestartInterval(const Bytes& jpeg) {
    std::size_t at = 2;
    // Bound: every round moves at forward by a segment of at least four bytes.
    while (at + 6 <= jpeg.size() && jpeg[at] == 0xFF && jpeg[at + 1] != 0xDA) {
        if (jpeg[at + 1] == 0xDD) {
            return (unsigned{jpeg[at + 4]} << 8) | jpeg[at + 5];
        }
        at += 2 + ((std::size_t{jpeg[at + 2]} << 8) | jpeg[at + 3]);
    }
    return 0;
}

// jpegtran's result when it keeps the original's restart interval as the stage does: what the
// markers and the shorter runs between them cost in bytes, counted like the kept segments.
std::uint64_t JpegtranKeepingRestarts(const Paths& p, unsigned interval, const fs::path& result) {
    Spawn({"jpegtran", "-copy", "none", "-progressive", "-restart", std::to_string(interval) + "B",
           "-outfile", result.string(), p.file.string()});
    return fs::file_size(result);
}

// Like the pipeline, a result that failed or is not smaller leaves the original in place.
std::uint64_t KeptSize(const fs::path& result, std::uint64_t before) {
    std::error_code error;
    const std::uint64_t size = fs::file_size(result, error);
    return error || size == 0 || size >= before ? before : size;
}

// The bytes of the APPn segments before the first scan: what the stage keeps on purpose.
std::uint64_t ApplicationSegmentBytes(const Bytes& jpeg) {
    std::uint64_t total = 0;
    std::size_t at = 2;
    // Bound: every round moves at forward by a segment of at least four bytes.
    while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF) {
        const std::uint8_t code = jpeg[at + 1];
        if (code == 0xDA) {
            break;
        }
        const std::size_t length = (std::size_t{jpeg[at + 2]} << 8) | jpeg[at + 3];
        if (code >= 0xE0 && code <= 0xEF) {
            total += 2 + length;
        }
        at += 2 + length;
    }
    return total;
}

// '=' same pixels, 'X' other pixels or not decodable, '-' the original itself is not decodable.
char Fidelity(const std::optional<quillon::test::DecodedJpeg>& original, const Bytes& result) {
    if (!original) {
        return '-';
    }
    const auto decoded =
        quillon::test::DecodeWithLibjpeg(result, quillon::test::DecodeDepth::kPixels);
    const bool same =
        decoded && decoded->width == original->width && decoded->height == original->height &&
        decoded->components == original->components &&
        decoded->colorSpace == original->colorSpace && decoded->pixels == original->pixels;
    return same ? '=' : 'X';
}

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

std::vector<fs::path> Jpegs(const fs::path& folder) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const auto extension = entry.path().extension();
        if (entry.is_regular_file() && (extension == ".jpg" || extension == ".jpeg")) {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

struct Totals {
    std::uint64_t before = 0, kept = 0;
    std::array<std::uint64_t, kJpegoptim + 1> after{};
    std::array<int, kJpegoptim + 1> identical{}, different{};
    int oursLarger = 0;
    int undecodable = 0;
    // What keeping the restart intervals costs jpegtran, and on how many files.
    std::uint64_t restartCost = 0;
    int withRestarts = 0;
    // Files where the stage saves less than jpegtran less its segments and restart intervals.
    int shortOfJpegtran = 0;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <jpeg folder> <work folder> [rounds]\n", argv[0]);
        return 2;
    }
    const fs::path work = argv[2];
    const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
    const std::vector<fs::path> files = Jpegs(argv[1]);
    std::vector<Paths> paths;
    for (const fs::path& file : files) {
        const fs::path name = file.filename();
        paths.push_back({file, work / "ours" / name, work / "jpegtran" / name, work / "jpegoptim",
                         work / "jpegoptim" / name});
    }
    for (const char* folder : {"ours", "jpegtran", "jpegoptim", "jpegtran-restart"}) {
        fs::create_directories(work / folder);
    }

    std::array<std::vector<double>, kToolCount> roundSeconds;
    for (int round = 0; round < rounds; ++round) {
        std::array<Clock::duration, kToolCount> spent{};
        for (std::size_t i = 0; i < paths.size(); ++i) {
            for (int k = 0; k < kToolCount; ++k) {
                const auto tool = static_cast<Tool>((i + round + k) % kToolCount);
                const auto start = Clock::now();
                RunTool(tool, paths[i]);
                spent[tool] += Clock::now() - start;
            }
        }
        for (int tool = 0; tool < kToolCount; ++tool) {
            roundSeconds[tool].push_back(Seconds(spent[tool]));
        }
    }

    Totals totals;
    std::printf("%-46s %9s %9s %9s %9s %6s  px q/t/o\n", "file", "before", "quillon", "jpegtran",
                "jpegoptim", "kept");
    for (const Paths& p : paths) {
        const Bytes original = Read(p.file);
        const std::uint64_t before = original.size();
        const std::array<fs::path, kJpegoptim + 1> results = {p.ours, p.jpegtran, p.jpegoptim};
        std::array<std::uint64_t, kJpegoptim + 1> sizes{};
        std::array<char, kJpegoptim + 1> fidelity{};
        const auto decoded =
            quillon::test::DecodeWithLibjpeg(original, quillon::test::DecodeDepth::kPixels);
        for (int tool = kOurs; tool <= kJpegoptim; ++tool) {
            sizes[tool] = KeptSize(results[tool], before);
            totals.after[tool] += sizes[tool];
            fidelity[tool] =
                Fidelity(decoded, sizes[tool] == before ? original : Read(results[tool]));
            totals.identical[tool] += fidelity[tool] == '=';
            totals.different[tool] += fidelity[tool] == 'X';
        }
        totals.oursLarger += fs::file_size(p.ours) > before;
        totals.undecodable += !decoded;
        std::uint64_t kept = ApplicationSegmentBytes(Read(p.ours));
        const unsigned interval = RestartInterval(original);
        if (interval > 0 && sizes[kJpegtran] < before) {
            const std::uint64_t withRestart =
                JpegtranKeepingRestarts(p, interval, work / "jpegtran-restart" / p.file.filename());
            const std::uint64_t cost =
                withRestart > sizes[kJpegtran] ? withRestart - sizes[kJpegtran] : 0;
            totals.restartCost += cost;
            totals.withRestarts += 1;
            kept += cost;
        }
        totals.before += before;
        totals.kept += kept;
        totals.shortOfJpegtran += before - sizes[kOurs] + kept < before - sizes[kJpegtran];
        std::printf("%-46s %9llu %9llu %9llu %9llu %6llu  %c %c %c\n",
                    p.file.filename().string().c_str(), static_cast<unsigned long long>(before),
                    static_cast<unsigned long long>(sizes[kOurs]),
                    static_cast<unsigned long long>(sizes[kJpegtran]),
                    static_cast<unsigned long long>(sizes[kJpegoptim]),
                    static_cast<unsigned long long>(kept), fidelity[kOurs], fidelity[kJpegtran],
                    fidelity[kJpegoptim]);
    }

    std::printf("\n%zu files, %llu bytes, %d not decodable by libjpeg-turbo; %d rounds\n",
                files.size(), static_cast<unsigned long long>(totals.before), totals.undecodable,
                rounds);
    std::printf("%-10s %10s %10s %7s %10s %10s %7s\n", "tool", "bytes", "saved", "saved%",
                "identical", "differ", "s/round");
    for (int tool = kOurs; tool <= kJpegoptim; ++tool) {
        const std::uint64_t saved = totals.before - totals.after[tool];
        std::printf("%-10s %10llu %10llu %6.2f%% %10d %10d %7.3f\n", kToolNames[tool],
                    static_cast<unsigned long long>(totals.after[tool]),
                    static_cast<unsigned long long>(saved),
                    100.0 * static_cast<double>(saved) / static_cast<double>(totals.before),
                    totals.identical[tool], totals.different[tool], Median(roundSeconds[tool]));
    }
    const std::uint64_t savedOurs = totals.before - totals.after[kOurs];
    std::printf(
        "segments and restart intervals kept on purpose: %llu bytes (restart intervals %llu, "
        "in %d files); quillon saved %llu, at least %lld needed "
        "against jpegtran and %lld against jpegoptim; files short of jpegtran: %d\n",
        static_cast<unsigned long long>(totals.kept),
        static_cast<unsigned long long>(totals.restartCost), totals.withRestarts,
        static_cast<unsigned long long>(savedOurs),
        static_cast<long long>(totals.before - totals.after[kJpegtran]) -
            static_cast<long long>(totals.kept),
        static_cast<long long>(totals.before - totals.after[kJpegoptim]) -
            static_cast<long long>(totals.kept),
        totals.shortOfJpegtran);
    std::printf(
        "quillon files larger than before: %d; median seconds per round: starting "
        "jpegtran alone %.3f\n",
        totals.oursLarger, Median(roundSeconds[kStartup]));
    return 0;
}
