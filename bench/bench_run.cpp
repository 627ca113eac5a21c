// A whole run, as the command line makes it, over a generated site of about 2,000 files: pages
// cut from the corpus pages and corpus JPEGs, in nested folders. Reports files per second, MB/s
// of input and the peak resident memory of the process.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <vector>

#include "pipeline/FileProcessor.h"
#include "pipeline/SettingsKeys.h"
#include "pipeline/Worker.h"

namespace {

namespace fs = std::filesystem;

class BenchSettings : public quillon::SettingsStore {
  public:
    std::uint32_t GetInt(std::string_view section, std::string_view key,
                         std::uint32_t fallback) const override {
        std::lock_guard lock(mutex_);
        const auto found = ints_.find({std::string(section), std::string(key)});
        return found == ints_.end() ? fallback : found->second;
    }
    std::string GetString(std::string_view section, std::string_view key,
                          std::string_view fallback) const override {
        std::lock_guard lock(mutex_);
        const auto found = strings_.find({std::string(section), std::string(key)});
        return found == strings_.end() ? std::string(fallback) : found->second;
    }
    void PutInt(std::string_view section, std::string_view key, std::uint32_t value) override {
        std::lock_guard lock(mutex_);
        ints_[{std::string(section), std::string(key)}] = value;
    }
    void PutString(std::string_view section, std::string_view key,
                   std::string_view value) override {
        std::lock_guard lock(mutex_);
        strings_[{std::string(section), std::string(key)}] = std::string(value);
    }

  private:
    using Key = std::pair<std::string, std::string>;
    mutable std::mutex mutex_;
    std::map<Key, std::uint32_t> ints_;
    std::map<Key, std::string> strings_;
};

// Answers like an unattended command line: replace an existing copy, no questions.
class QuietView : public quillon::RunView {
  public:
    void SendProgress() override {}
    void PostProgress() override {}
    void PostRunDone() override {
        std::lock_guard lock(mutex_);
        done_ = true;
        wake_.notify_all();
    }
    std::optional<std::string> ChooseFolder(std::string_view) override { return std::nullopt; }
    quillon::ExistsAnswer AskDestinationExists(std::string_view) override {
        return quillon::ExistsAnswer::kReplace;
    }
    void ShowMessage(std::string_view) override {}
    bool AskYesNo(std::string_view) override { return false; }
    void OpenDocument(const fs::path&, const fs::path&) override {}
    void Wait() {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [this] { return done_; });
    }

  private:
    std::mutex mutex_;
    std::condition_variable wake_;
    bool done_ = false;
};

std::vector<char> ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// 1,600 pages of 2 to 60 KB cut from the corpus pages and 400 corpus JPEGs, 20 files a folder.
std::uint64_t MakeSite(const fs::path& site) {
    const fs::path corpus(QUILLON_CORPUS_DIR);
    std::vector<std::vector<char>> pages, jpegs;
    for (const auto& entry : fs::directory_iterator(corpus / "html")) {
        pages.push_back(ReadFile(entry.path()));
    }
    for (const auto& entry : fs::directory_iterator(corpus / "jpeg")) {
        if (entry.is_regular_file()) {
            jpegs.push_back(ReadFile(entry.path()));
        }
    }
    std::uint64_t bytes = 0;
    for (int i = 0; i < 2000; ++i) {
        const fs::path folder =
            site / ("section" + std::to_string(i / 200)) / ("part" + std::to_string(i / 20));
        fs::create_directories(folder);
        std::vector<char> content;
        std::string name;
        if (i % 5 == 4) {
            content = jpegs[static_cast<std::size_t>(i) % jpegs.size()];
            name = "photo" + std::to_string(i) + ".jpg";
        } else {
            const std::vector<char>& page = pages[static_cast<std::size_t>(i) % pages.size()];
            const std::size_t size = std::min<std::size_t>(page.size(), 2048 + (i * 7919) % 61440);
            content.assign(page.begin(), page.begin() + static_cast<std::ptrdiff_t>(size));
            name = "page" + std::to_string(i) + ".htm";
        }
        std::ofstream(folder / name, std::ios::binary)
            .write(content.data(), static_cast<std::streamsize>(content.size()));
        bytes += content.size();
    }
    return bytes;
}

void BM_WholeRun(benchmark::State& state) {
    const fs::path root = fs::temp_directory_path() / "quillon-bench-run";
    fs::remove_all(root);
    const std::uint64_t bytes = MakeSite(root / "site");
    fs::create_directories(root / "tmp");
    for (auto _ : state) {
        // Each run copies into a fresh destination, as a first run does.
        state.PauseTiming();
        fs::remove_all(root / "out");
        state.ResumeTiming();
        BenchSettings settings;
        quillon::StorePageDefaults(settings, root / "Desktop");
        settings.PutInt(quillon::section::kDestination, quillon::key::kPromptForDestination, 1);
        settings.PutString(quillon::section::kDestination, quillon::key::kDestination,
                           (root / "out").string());
        quillon::DerivedPaths paths(root / "Desktop", root, root / "tmp");
        QuietView view;
        quillon::CFileProcessor processor(settings, view, paths.TempFolder());
        quillon::CWorker worker(settings, view, paths);
        worker.SetProcessor(&processor);
        worker.PostStartRun((root / "site").string());
        view.Wait();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * 2000));
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
    state.counters["site_MB"] = static_cast<double>(bytes) / 1e6;
    fs::remove_all(root);
}
BENCHMARK(BM_WholeRun)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace
