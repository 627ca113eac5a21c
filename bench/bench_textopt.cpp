// Throughput of the layout and entity passes, one thread, on every corpus page put end to end.
// Each pass is fed what the chain hands it (the output of the passes before it), so that, say,
// CollapseBlankLines sees line feeds, not carriage returns.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "textopt/Entities.h"
#include "textopt/WhitespacePasses.h"

namespace {

using quillon::TextLength;
using quillon::TextPass;

// Chain order of the passes of src/textopt.
constexpr std::array<TextPass, 7> kChain = {
    quillon::NormalizeLineEnds,   quillon::TabsToSpaces,       quillon::ShortenEntities,
    quillon::CollapseSpaces,      quillon::TrimAroundLineEnds, quillon::CollapseBlankLines,
    quillon::TrimAroundBlockTags,
};

// Every corpus page without 0 bytes (the pipeline keeps those away from the chain), in name order.
std::vector<std::uint8_t> LoadCorpus() {
    std::vector<std::filesystem::path> files;
    for (const auto& entry :
         std::filesystem::directory_iterator(std::filesystem::path(QUILLON_CORPUS_DIR) / "html")) {
        files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    std::vector<std::uint8_t> all;
    for (const auto& file : files) {
        std::ifstream in(file, std::ios::binary);
        const std::vector<std::uint8_t> page{std::istreambuf_iterator<char>(in), {}};
        if (std::find(page.begin(), page.end(), std::uint8_t{0}) == page.end()) {
            all.insert(all.end(), page.begin(), page.end());
        }
    }
    return all;
}

// What step `step` of the chain receives.
const std::vector<std::uint8_t>& StepInput(std::size_t step) {
    static const std::vector<std::vector<std::uint8_t>> inputs = [] {
        std::vector<std::vector<std::uint8_t>> stages{LoadCorpus()};
        for (const TextPass pass : kChain) {
            std::vector<std::uint8_t> next = stages.back();
            next.resize(
                static_cast<std::size_t>(pass(next.data(), static_cast<TextLength>(next.size()))));
            stages.push_back(std::move(next));
        }
        return stages;
    }();
    return inputs[step];
}

// Runs chain steps [first, last) over a fresh copy of their input on every iteration.
void RunSteps(benchmark::State& state, std::size_t first, std::size_t last) {
    const std::vector<std::uint8_t>& input = StepInput(first);
    std::vector<std::uint8_t> text(input.size());
    for (auto _ : state) {
        state.PauseTiming();
        std::copy(input.begin(), input.end(), text.begin());
        state.ResumeTiming();
        auto length = static_cast<TextLength>(text.size());
        for (std::size_t step = first; step < last; ++step) {
            length = kChain[step](text.data(), length);
        }
        benchmark::DoNotOptimize(length);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(input.size()));
}

BENCHMARK_CAPTURE(RunSteps, NormalizeLineEnds, 0, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RunSteps, TabsToSpaces, 1, 2)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RunSteps, ShortenEntities, 2, 3)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RunSteps, CollapseSpaces, 3, 4)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RunSteps, TrimAroundLineEnds, 4, 5)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RunSteps, CollapseBlankLines, 5, 6)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RunSteps, TrimAroundBlockTags, 6, 7)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RunSteps, Chain, 0, 7)->Unit(benchmark::kMillisecond);

}  // namespace
