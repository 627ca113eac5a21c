// Throughput of the whole web-page chain on real pages, one thread.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "pipeline/PageChain.h"

namespace {

// Answers every read with the reader's own default, as a store without the keys does.
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

// Every corpus page, one after the other: about 5 MB of real markup.
const std::vector<std::uint8_t>& CorpusPages() {
    static const std::vector<std::uint8_t> pages = [] {
        std::vector<std::filesystem::path> files;
        for (const auto& entry : std::filesystem::directory_iterator(
                 std::filesystem::path(QUILLON_CORPUS_DIR) / "html")) {
            files.push_back(entry.path());
        }
        std::sort(files.begin(), files.end());
        std::vector<std::uint8_t> all;
        for (const auto& file : files) {
            std::ifstream in(file, std::ios::binary);
            all.insert(all.end(), std::istreambuf_iterator<char>(in), {});
        }
        // The pipeline keeps pages with 0 bytes away from the chain; so does the benchmark.
        std::replace(all.begin(), all.end(), std::uint8_t{0}, std::uint8_t{' '});
        return all;
    }();
    return pages;
}

void BM_PageChain(benchmark::State& state) {
    const std::vector<std::uint8_t>& pages = CorpusPages();
    if (pages.empty()) {
        state.SkipWithError("no corpus pages");
        return;
    }
    const DefaultSettings settings;
    std::vector<std::uint8_t> work(pages.size());
    quillon::TextLength length = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(work.data(), pages.data(), pages.size());
        state.ResumeTiming();
        length = quillon::RunPageChain(work.data(), static_cast<quillon::TextLength>(pages.size()),
                                       settings, true);
        benchmark::DoNotOptimize(length);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * pages.size()));
    state.counters["input_bytes"] = static_cast<double>(pages.size());
    state.counters["output_bytes"] = static_cast<double>(length);
}
BENCHMARK(BM_PageChain)->Unit(benchmark::kMillisecond);

}  // namespace
