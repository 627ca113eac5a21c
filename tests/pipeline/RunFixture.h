// What the run tests share: a page the chain shrinks, one run as the window makes it, and a site
// with its settings in a temporary folder.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "Corpus.h"
#include "KeptLogs.h"
#include "MemorySettingsStore.h"
#include "RecordingRunView.h"
#include "TempDir.h"
#include "pipeline/DerivedPaths.h"
#include "pipeline/FileProcessor.h"
#include "pipeline/SettingsKeys.h"
#include "pipeline/Worker.h"

namespace quillon::test {

using Files = std::vector<std::string>;
// The web-page chain takes this page from 10 bytes to 5.
inline constexpr std::string_view kLoosePage = "<p>  a    ";
inline constexpr std::string_view kTightPage = "<p>a ";

// A worker and a processor for one run, which keeps its logs as run.log and errors.log.
struct OneRun {
    OneRun(MemorySettingsStore& settings, DerivedPaths& paths)
        : logCopies(paths.TempFolder()),
          processor(std::make_unique<CFileProcessor>(settings, view, paths.TempFolder())),
          worker(std::make_unique<CWorker>(settings, view, paths)) {
        worker->SetProcessor(processor.get());
    }
    ~OneRun() { Finish(); }

    void Start(const std::filesystem::path& selection) { worker->PostStartRun(selection.string()); }
    // Waits for the end of the runs started and for the worker's last questions.
    void Finish() {
        worker.reset();
        if (processor) {
            KeepLogs(processor->Logs(), logCopies);
        }
        processor.reset();
    }
    void StartAndFinish(const std::filesystem::path& selection) {
        Start(selection);
        Finish();
    }

    RecordingRunView view;
    std::filesystem::path logCopies;
    std::unique_ptr<CFileProcessor> processor;
    std::unique_ptr<CWorker> worker;
};

// A site at root/web/site, the page defaults, and root/tmp for the logs.
class RunTest : public ::testing::Test {
  protected:
    RunTest() : paths_(root_ / "Desktop", root_ / "program", root_ / "tmp") {
        std::filesystem::create_directories(root_ / "tmp");
        StorePageDefaults(settings_, paths_.DesktopFolder());
    }
    void Set(std::string_view destinationKey, std::uint32_t value) {
        settings_.PutInt(section::kDestination, destinationKey, value);
    }
    std::string ErrorLog() const { return ReadText(root_ / "tmp" / "errors.log"); }

    TempDir root_;
    const std::filesystem::path site_ = root_ / "web" / "site";
    MemorySettingsStore settings_;
    DerivedPaths paths_;
};

}  // namespace quillon::test
