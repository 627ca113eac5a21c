// Throughput of the JPEG stage over the corpus JPEGs, in each recompression mode (0: stripping
// alone, 1: optimized Huffman tables, 2: progressive). Each round copies every file into a work
// buffer first, as the pipeline hands the stage a fresh buffer per file; the copy is measured on
// its own as a baseline.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <span>
#include <vector>

#include "imageopt/JpegOptimizer.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

std::vector<Bytes> LoadCorpusJpegs() {
    std::vector<std::filesystem::path> paths;
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::path(QUILLON_CORPUS_DIR) / "jpeg";
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const auto extension = entry.path().extension();
        if (entry.is_regular_file() && (extension == ".jpg" || extension == ".jpeg")) {
            paths.push_back(entry.path());
        }
    }
    std::sort(paths.begin(), paths.end());
    std::vector<Bytes> files;
    for (const auto& path : paths) {
        std::ifstream in(path, std::ios::binary);
        files.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return files;
}

const std::vector<Bytes>& CorpusJpegs() {
    static const std::vector<Bytes> files = LoadCorpusJpegs();
    return files;
}

std::int64_t TotalBytes(const std::vector<Bytes>& files) {
    std::int64_t total = 0;
    for (const Bytes& file : files) {
        total += static_cast<std::int64_t>(file.size());
    }
    return total;
}

Bytes WorkBuffer(const std::vector<Bytes>& files) {
    std::size_t largest = 0;
    for (const Bytes& file : files) {
        largest = std::max(largest, file.size());
    }
    return Bytes(largest);
}

void BM_OptimizeJpeg(benchmark::State& state) {
    const auto& files = CorpusJpegs();
    if (files.empty()) {
        state.SkipWithError("no corpus JPEGs found");
        return;
    }
    const auto mode = static_cast<quillon::JpegRecompression>(state.range(0));
    Bytes work = WorkBuffer(files);
    std::int64_t after = 0;
    for (auto _ : state) {
        after = 0;
        for (const Bytes& file : files) {
            std::copy(file.begin(), file.end(), work.begin());
            const std::uint32_t length =
                quillon::OptimizeJpeg(std::span(work.data(), file.size()), mode);
            benchmark::DoNotOptimize(length);
            benchmark::ClobberMemory();
            after += length;
        }
    }
    const std::int64_t before = TotalBytes(files);
    state.SetBytesProcessed(state.iterations() * before);
    // Decimal megabytes, the unit file sizes are quoted in.
    state.counters["MB/s"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * static_cast<double>(before) / 1e6,
        benchmark::Counter::kIsRate);
    state.counters["files"] = static_cast<double>(files.size());
    state.counters["bytes_before"] = static_cast<double>(before);
    state.counters["bytes_after"] = static_cast<double>(after);
}
BENCHMARK(BM_OptimizeJpeg)->ArgName("recompress")->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

void BM_CopyOnly(benchmark::State& state) {
    const auto& files = CorpusJpegs();
    Bytes work = WorkBuffer(files);
    for (auto _ : state) {
        for (const Bytes& file : files) {
            std::copy(file.begin(), file.end(), work.begin());
            benchmark::ClobberMemory();
        }
    }
    state.SetBytesProcessed(state.iterations() * TotalBytes(files));
    state.counters["MB/s"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * static_cast<double>(TotalBytes(files)) / 1e6,
        benchmark::Counter::kIsRate);
}
BENCHMARK(BM_CopyOnly);

}  // namespace
