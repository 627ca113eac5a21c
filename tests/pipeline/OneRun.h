// One run as the window makes it, a worker and a processor that live for that run only, and the
// listing of a tree the run tests share.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Corpus.h"
#include "KeptLogs.h"
#include "MemorySettingsStore.h"
#include "RecordingRunView.h"
#include "pipeline/DerivedPaths.h"
#include "pipeline/FileProcessor.h"
#include "pipeline/Worker.h"

namespace quillon::test {

// Every regular file below folder, relative to it, sorted.
inline std::vector<std::string> Tree(const std::filesystem::path& folder) {
    std::vector<std::string> files;
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(folder, error);
         it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        if (it->is_regular_file()) {
            files.push_back(it->path().lexically_relative(folder).string());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

class OneRun {
  public:
    OneRun(MemorySettingsStore& settings, DerivedPaths& paths)
        : logCopies_(paths.TempFolder()),
          processor_(std::make_unique<CFileProcessor>(settings, view, paths.TempFolder())),
          worker_(std::make_unique<CWorker>(settings, view, paths)) {
        worker_->SetProcessor(processor_.get());
    }
    ~OneRun() { Finish(); }

    void Start(const std::filesystem::path& selection) {
        worker_->PostStartRun(selection.string());
    }
    // Waits for the end of the run and for the worker's last questions; the logs are kept in
    // the temporary folder as run.log and errors.log.
    void Finish() {
        worker_.reset();
        if (processor_) {
            KeepLogs(processor_->Logs(), logCopies_);
        }
        processor_.reset();
    }
    void StartAndFinish(const std::filesystem::path& selection) {
        Start(selection);
        ASSERT_TRUE(view.WaitForRunDone());
        Finish();
    }
    CWorker& Worker() { return *worker_; }
    CFileProcessor& Processor() { return *processor_; }

    RecordingRunView view;

  private:
    std::filesystem::path logCopies_;
    std::unique_ptr<CFileProcessor> processor_;
    std::unique_ptr<CWorker> worker_;
};

}  // namespace quillon::test
