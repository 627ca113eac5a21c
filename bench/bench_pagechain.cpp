// Throughput of the whole web-page chain on real pages, against Debian's `minify` (a fast HTML
// minifier) on the same bytes in the same run. The pages go through the chain as one page of a
// few MB, large enough that its script bodies are worked out on a second thread; the chain on one
// thread alone is timed beside it.
//
//   build/bench/bench_pagechain                    every benchmark, then the two figures and
//                                                  their ratio
//   build/bench/bench_pagechain --benchmark_filter=PageStep   the chain step by step, and the
//                                                  joined pass that stands for steps 8-11
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "pipeline/PageChain.h"

namespace {

// Answers every read with the reader's own default, as a store without the keys does; the
// JavaScript optimizer is switched on, as the settings page stores it.
quillon::PageSettings DefaultPageSettings() {
    class DefaultSettings : public quillon::SettingsStore {
      public:
        std::uint32_t GetInt(std::string_view, std::string_view,
                             std::uint32_t fallback) const override {
            return fallback;
        }
        std::string GetString(std::string_view, std::string_view,
                              std::string_view fallback) const override {
            return std::string(fallback);
        }
        void PutInt(std::string_view, std::string_view, std::uint32_t) override {}
        void PutString(std::string_view, std::string_view, std::string_view) override {}
    };
    return quillon::ReadPageSettings(DefaultSettings(), true);
}

std::vector<std::vector<std::uint8_t>> ReadCorpusPages() {
    std::vector<std::filesystem::path> files;
    const auto folder = std::filesystem::path(QUILLON_CORPUS_DIR) / "html";
    if (std::filesystem::is_directory(folder)) {
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    std::vector<std::vector<std::uint8_t>> pages;
    for (const auto& file : files) {
        std::ifstream in(file, std::ios::binary);
        pages.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        // The pipeline keeps pages with 0 bytes away from the chain; so does the benchmark.
        std::replace(pages.back().begin(), pages.back().end(), std::uint8_t{0}, std::uint8_t{' '});
    }
    return pages;
}

std::vector<std::uint8_t> Concatenated(const std::vector<std::vector<std::uint8_t>>& pages) {
    std::vector<std::uint8_t> all;
    for (const auto& page : pages) {
        all.insert(all.end(), page.begin(), page.end());
    }
    return all;
}

// Every corpus page, one after the other: about 5.5 MB of real markup.
const std::vector<std::uint8_t>& CorpusPages() {
    static const std::vector<std::uint8_t> pages = Concatenated(ReadCorpusPages());
    return pages;
}

long long RunThroughPipe(const std::vector<const char*>& command,
                         const std::vector<std::uint8_t>& input);

const std::vector<const char*> kMinifyCommand = {"minify", "--type=html", nullptr};

// The pages minify accepts: it gives up on a whole input when an inline script does not parse,
// as in eight corpus pages (saved with broken or entity-escaped scripts). Both programs are
// timed on these, one after the other, so that the comparison is on the same bytes.
const std::vector<std::uint8_t>& MinifyPages() {
    static const std::vector<std::uint8_t> pages = [] {
        std::vector<std::vector<std::uint8_t>> accepted;
        for (auto& page : ReadCorpusPages()) {
            if (RunThroughPipe(kMinifyCommand, page) >= 0) {
                accepted.push_back(std::move(page));
            }
        }
        return Concatenated(accepted);
    }();
    return pages;
}

void RunChain(benchmark::State& state, const std::vector<std::uint8_t>& pages,
              bool secondThread = true) {
    if (pages.empty()) {
        state.SkipWithError("no corpus pages");
        return;
    }
    quillon::PageSettings settings = DefaultPageSettings();
    if (!secondThread) {
        settings.scriptsAheadFrom = std::numeric_limits<quillon::TextLength>::max();
    }
    std::vector<std::uint8_t> work(pages.size());
    quillon::TextLength length = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(work.data(), pages.data(), pages.size());
        state.ResumeTiming();
        length = quillon::RunPageChain(work.data(), static_cast<quillon::TextLength>(pages.size()),
                                       settings);
        benchmark::DoNotOptimize(length);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * pages.size()));
    state.counters["input_bytes"] = static_cast<double>(pages.size());
    state.counters["output_bytes"] = static_cast<double>(length);
}

// The whole chain, all 13 steps with the default settings, over every corpus page.
void BM_PageChain(benchmark::State& state) {
    RunChain(state, CorpusPages());
}
BENCHMARK(BM_PageChain)->Unit(benchmark::kMillisecond);

// The same on one thread, as a page under 1 MB goes.
void BM_PageChainOneThread(benchmark::State& state) {
    RunChain(state, CorpusPages(), false);
}
BENCHMARK(BM_PageChainOneThread)->Unit(benchmark::kMillisecond);

// The same over the pages minify accepts, for the comparison.
void BM_PageChainMinifyPages(benchmark::State& state) {
    RunChain(state, MinifyPages());
}
BENCHMARK(BM_PageChainMinifyPages)->Unit(benchmark::kMillisecond);

// Times `pass` on what the chain's steps before step `index` leave of the corpus pages.
void TimeStepPass(benchmark::State& state, std::size_t index, quillon::PagePass pass) {
    const auto steps = quillon::PageChainSteps();
    const quillon::PageSettings settings = DefaultPageSettings();
    std::vector<std::uint8_t> input = CorpusPages();
    auto length = static_cast<quillon::TextLength>(input.size());
    for (std::size_t k = 0; k < index; ++k) {
        length = steps[k].pass(input.data(), length, settings.options);
    }
    input.resize(static_cast<std::size_t>(length));
    std::vector<std::uint8_t> work(input.size());
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(work.data(), input.data(), input.size());
        state.ResumeTiming();
        benchmark::DoNotOptimize(pass(work.data(), length, settings.options));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input.size()));
}

// One step of the chain alone, given what the steps before it leave.
void BM_PageStep(benchmark::State& state) {
    const auto steps = quillon::PageChainSteps();
    const auto index = static_cast<std::size_t>(state.range(0));
    if (CorpusPages().empty() || index >= steps.size()) {
        state.SkipWithError("no corpus pages");
        return;
    }
    state.SetLabel(std::string(steps[index].name));
    TimeStepPass(state, index, steps[index].pass);
}
BENCHMARK(BM_PageStep)->DenseRange(0, 12)->Unit(benchmark::kMillisecond);

// The joined pass the chain runs in place of the steps it stands for, given what the steps
// before them leave.
void BM_PageStepJoined(benchmark::State& state) {
    const auto steps = quillon::PageChainSteps();
    const auto index = static_cast<std::size_t>(state.range(0));
    if (CorpusPages().empty() || index >= steps.size() || !steps[index].joinedPass) {
        state.SkipWithError("no corpus pages, or no joined pass at this step");
        return;
    }
    state.SetLabel(std::string(steps[index].name) + " and the " +
                   std::to_string(steps[index].joinedSteps - 1) + " steps after it, joined");
    TimeStepPass(state, index, steps[index].joinedPass);
}
BENCHMARK(BM_PageStepJoined)->Arg(8)->Unit(benchmark::kMillisecond);

// Feeds `input` to `command` on its standard input and returns how many bytes it wrote to its
// standard output, or -1 when it could not be run or failed.
long long RunThroughPipe(const std::vector<const char*>& command,
                         const std::vector<std::uint8_t>& input) {
    int toChild[2];
    int fromChild[2];
    if (pipe(toChild) != 0) {
        return -1;
    }
    if (pipe(fromChild) != 0) {
        close(toChild[0]);
        close(toChild[1]);
        return -1;
    }
    const pid_t child = fork();
    if (child == 0) {
        dup2(toChild[0], STDIN_FILENO);
        dup2(fromChild[1], STDOUT_FILENO);
        // Its complaints about the pages it rejects are not the benchmark's output.
        const int devNull = open("/dev/null", O_WRONLY);
        if (devNull >= 0) {
            dup2(devNull, STDERR_FILENO);
            close(devNull);
        }
        close(toChild[0]);
        close(toChild[1]);
        close(fromChild[0]);
        close(fromChild[1]);
        execvp(command[0], const_cast<char* const*>(command.data()));
        _exit(127);
    }
    close(toChild[0]);
    close(fromChild[1]);
    if (child < 0) {
        close(toChild[1]);
        close(fromChild[0]);
        return -1;
    }
    // The child reads and writes at once, so the input goes from a thread of its own.
    std::thread writer([&] {
        std::size_t written = 0;
        while (written < input.size()) {
            const ssize_t n = write(toChild[1], input.data() + written, input.size() - written);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                break;
            }
            written += static_cast<std::size_t>(n);
        }
        close(toChild[1]);
    });
    long long outputBytes = 0;
    std::vector<char> buffer(1 << 16);
    for (;;) {
        const ssize_t n = read(fromChild[0], buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        outputBytes += n;
    }
    close(fromChild[0]);
    writer.join();
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? outputBytes : -1;
}

// Debian's minify over the same bytes, fed through a pipe; its start-up is part of the time.
void BM_MinifyHtml(benchmark::State& state) {
    const std::vector<std::uint8_t>& pages = MinifyPages();
    if (pages.empty()) {
        state.SkipWithError("minify could not be run (Debian package minify)");
        return;
    }
    long long output = 0;
    for (auto _ : state) {
        output = RunThroughPipe(kMinifyCommand, pages);
        if (output < 0) {
            state.SkipWithError("minify failed");
            return;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * pages.size()));
    state.counters["input_bytes"] = static_cast<double>(pages.size());
    state.counters["output_bytes"] = static_cast<double>(output);
}
BENCHMARK(BM_MinifyHtml)->Unit(benchmark::kMillisecond)->UseRealTime();

// Prints as usual and keeps the throughput of every run, for the closing comparison.
class RecordingReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const auto rate = run.counters.find("bytes_per_second");
            if (!run.error_occurred && rate != run.counters.end()) {
                bytesPerSecond[run.benchmark_name()] = rate->second;
            }
        }
    }

    std::map<std::string, double> bytesPerSecond;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    const auto& rates = reporter.bytesPerSecond;
    constexpr double kMegabyte = 1000.0 * 1000.0;
    if (const auto all = rates.find("BM_PageChain"); all != rates.end()) {
        std::printf("\nWhole chain, every corpus page (%.2f MB): %.1f MB/s\n",
                    static_cast<double>(CorpusPages().size()) / kMegabyte, all->second / kMegabyte);
    }
    const auto chain = rates.find("BM_PageChainMinifyPages");
    const auto minify = rates.find("BM_MinifyHtml/real_time");
    if (chain != rates.end() && minify != rates.end()) {
        std::printf(
            "Pages minify accepts (%.2f MB): chain %.1f MB/s, minify --type=html %.1f "
            "MB/s, ratio %.2fx\n",
            static_cast<double>(MinifyPages().size()) / kMegabyte, chain->second / kMegabyte,
            minify->second / kMegabyte, chain->second / minify->second);
    }
    return 0;
}
