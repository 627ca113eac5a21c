// A whole run, as the command line makes it, over a generated site of 2,000 files: pages cut from
// the corpus pages, corpus JPEGs and GIFs, in nested folders; one file at a time, then one per
// core. Reports files per second, MB/s of input and the peak resident memory of the process, and
// fails when the two runs' outputs differ in a byte.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "MemorySettingsStore.h"
#include "pipeline/FileProcessor.h"
#include "pipeline/SettingsKeys.h"
#include "pipeline/Worker.h"

namespace {

namespace fs = std::filesystem;

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

std::vector<std::vector<char>> ReadFolder(const fs::path& folder) {
    std::vector<fs::path> paths;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            paths.push_back(entry.path());
        }
    }
    std::sort(paths.begin(), paths.end());
    std::vector<std::vector<char>> files;
    for (const fs::path& path : paths) {
        files.push_back(ReadFile(path));
    }
    return files;
}

// 1,600 pages of 2 to 60 KB cut from the corpus pages, 200 corpus JPEGs and 200 corpus GIFs,
// 20 files a folder.
std::uint64_t MakeSite(const fs::path& site) {
    const fs::path corpus(QUILLON_CORPUS_DIR);
    const auto pages = ReadFolder(corpus / "html");
    const auto jpegs = ReadFolder(corpus / "jpeg");
    const auto gifs = ReadFolder(corpus / "gif");
    std::uint64_t bytes = 0;
    for (int i = 0; i < 2000; ++i) {
        const fs::path folder =
            site / ("section" + std::to_string(i / 200)) / ("part" + std::to_string(i / 20));
        fs::create_directories(folder);
        std::vector<char> content;
        std::string name;
        if (i % 10 == 4) {
            content = jpegs[static_cast<std::size_t>(i / 10) % jpegs.size()];
            name = "photo" + std::to_string(i) + ".jpg";
        } else if (i % 10 == 9) {
            content = gifs[static_cast<std::size_t>(i / 10) % gifs.size()];
            name = "picture" + std::to_string(i) + ".gif";
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

// Every file's relative path and bytes, in path order.
std::vector<std::pair<std::string, std::vector<char>>> TreeContents(const fs::path& tree) {
    std::vector<std::pair<std::string, std::vector<char>>> contents;
    for (const auto& entry : fs::recursive_directory_iterator(tree)) {
        if (entry.is_regular_file() && entry.path().extension() != ".html") {
            contents.emplace_back(entry.path().lexically_relative(tree).string(),
                                  ReadFile(entry.path()));
        }
    }
    std::sort(contents.begin(), contents.end());
    return contents;
}

// A folder emptied now and removed with everything in it when the program ends.
class RemovedAtExit {
  public:
    explicit RemovedAtExit(fs::path path) : path_(std::move(path)) { fs::remove_all(path_); }
    ~RemovedAtExit() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    RemovedAtExit(const RemovedAtExit&) = delete;
    RemovedAtExit& operator=(const RemovedAtExit&) = delete;
    const fs::path& Path() const { return path_; }

  private:
    fs::path path_;
};

// The argument is the "Files at Once" setting: 1, or 0 for one per core.
void BM_WholeRun(benchmark::State& state) {
    // A folder per benchmark, all removed when the program ends: removing one just before the
    // next benchmark would leave thousands of just-deleted inodes, which ext4 without a journal
    // scans past for every file created in the next 30 seconds or more.
    static const RemovedAtExit trees(fs::temp_directory_path() / "quillon-bench-run");
    const fs::path root = trees.Path() / std::to_string(state.range(0));
    fs::remove_all(root);
    const std::uint64_t bytes = MakeSite(root / "site");
    fs::create_directories(root / "tmp");
    const auto filesAtOnce = static_cast<std::uint32_t>(state.range(0));
    int run = 0;
    fs::path out;
    for (auto _ : state) {
        // Each run copies into a fresh destination, as a first run does; the copies of earlier
        // runs stay, for the same reason.
        out = root / ("out" + std::to_string(++run));
        quillon::test::MemorySettingsStore settings;
        quillon::StorePageDefaults(settings, root / "Desktop");
        settings.PutInt(quillon::section::kDestination, quillon::key::kPromptForDestination, 1);
        settings.PutString(quillon::section::kDestination, quillon::key::kDestination,
                           out.string());
        settings.PutInt(quillon::section::kDestination, quillon::key::kFilesAtOnce, filesAtOnce);
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
    quillon::test::MemorySettingsStore chosen;
    chosen.PutInt(quillon::section::kDestination, quillon::key::kFilesAtOnce, filesAtOnce);
    state.counters["files_at_once"] = quillon::FilesAtOnce(chosen);
    // What the first run made, for the others to be compared with (reports left out: they hold
    // the time of the run).
    static std::vector<std::pair<std::string, std::vector<char>>> firstOutput;
    auto output = TreeContents(out);
    if (firstOutput.empty()) {
        firstOutput = std::move(output);
    } else if (output != firstOutput) {
        state.SkipWithError("the output differs from the first run's");
    }
}
BENCHMARK(BM_WholeRun)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace
