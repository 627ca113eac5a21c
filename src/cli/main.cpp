// quillon-cli: one run, as the window's Process button makes it, for terminals and build
// pipelines.
#include <QCoreApplication>
#include <QString>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <thread>

#include <pthread.h>
#include <unistd.h>

#include "app/Platform.h"
#include "app/QtSettingsStore.h"
#include "cli/CliOptions.h"
#include "cli/OverlaySettingsStore.h"
#include "cli/Summary.h"
#include "cli/TerminalRunView.h"
#include "pipeline/SettingsKeys.h"
#include "pipeline/Worker.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;

// The options override the user's settings for this run only.
void ApplyOverrides(const CliOptions& options, OverlaySettingsStore& settings) {
    if (options.destination) {
        settings.OverrideInt(section::kDestination, key::kNewOrReplace, 0);
        settings.OverrideInt(section::kDestination, key::kPromptForDestination, 1);
        settings.OverrideString(section::kDestination, key::kDestination,
                                fs::absolute(*options.destination).lexically_normal().string());
    }
    if (options.inPlace) {
        settings.OverrideInt(section::kDestination, key::kNewOrReplace, 1);
    }
    if (options.jobs) {
        settings.OverrideInt(section::kDestination, key::kFilesAtOnce, *options.jobs);
    }
    if (options.noBackup) {
        settings.OverrideInt(section::kDestination, key::kBackupFiles, 0);
    }
    if (options.openReport) {
        settings.OverrideInt(section::kReport, key::kGenerateReports, 1);
        settings.OverrideInt(section::kReport, key::kAutoOpenReports, 1);
    }
}

// Ctrl-C (or a TERM) stops the run the way the window's Quit button does. The watched are taken
// by a thread of their own with sigwait, so the reaction runs as ordinary code, not in a handler.
class InterruptWatch {
  public:
    InterruptWatch(RunView& view, CFileProcessor& processor, CWorker& worker)
        : thread_([this, &view, &processor, &worker] { Watch(view, processor, worker); }) {}
    ~InterruptWatch() {
        pthread_kill(thread_.native_handle(), SIGUSR1);
        thread_.join();
    }
    bool Interrupted() const { return interrupted_; }

    // Called before any thread starts, so that every thread leaves these watched to the watch.
    static sigset_t BlockSignals() {
        sigset_t watched;
        sigemptyset(&watched);
        for (int signal : {SIGINT, SIGTERM, SIGUSR1}) {
            sigaddset(&watched, signal);
        }
        pthread_sigmask(SIG_BLOCK, &watched, nullptr);
        return watched;
    }

  private:
    void Watch(RunView& view, CFileProcessor& processor, CWorker& worker) {
        sigset_t watched;
        sigemptyset(&watched);
        for (int signal : {SIGINT, SIGTERM, SIGUSR1}) {
            sigaddset(&watched, signal);
        }
        for (;;) {
            int signal = 0;
            if (sigwait(&watched, &signal) != 0 || signal == SIGUSR1) {
                return;
            }
            if (interrupted_) {
                std::_Exit(kExitCancelled);  // asked twice: the user wants out now
            }
            interrupted_ = true;
            view.Update([](RunDisplay& display) { display.stopped = true; });
            processor.Cancel();
            worker.Resume();
            std::fputs("\nquillon-cli: stopping at the next checkpoint (Ctrl-C again quits now)\n",
                       stderr);
        }
    }

    std::atomic<bool> interrupted_{false};
    std::thread thread_;
};

// Keeps the messages a run showed, so the exit code can tell a run that could not finish.
class CountingView : public TerminalRunView {
  public:
    using TerminalRunView::TerminalRunView;
    void ShowMessage(std::string_view text) override {
        ++messages_;
        TerminalRunView::ShowMessage(text);
    }
    int Messages() const { return messages_; }

  private:
    std::atomic<int> messages_{0};
};

// A summary that never reached its reader must not pass for a finished run: writes to a full disk
// or a closed pipe fail only when the buffer is flushed.
bool WriteSummary(const std::string& text) {
    const bool written = std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
    if (std::fflush(stdout) == 0 && written) {
        return true;
    }
    std::fprintf(stderr, "quillon-cli: could not write the summary to standard output: %s\n",
                 std::strerror(errno));
    return false;
}

int Run(const CliOptions& options, const fs::path& programFolder) {
    std::error_code error;
    const fs::file_status status = fs::status(options.selection, error);
    if (error || (!fs::is_directory(status) && !fs::is_regular_file(status))) {
        std::fprintf(stderr, "quillon-cli: cannot read '%s'\n", options.selection.c_str());
        return kExitUsage;
    }
    const std::string selection = fs::absolute(options.selection).lexically_normal().string();
    // Checked before the store opens the file: QSettings would replace whatever it is by the
    // settings, a web page given by mistake included.
    if (options.settingsFile) {
        if (const auto problem = QtSettingsStore::UnusableSettingsFile(*options.settingsFile)) {
            std::fprintf(stderr, "quillon-cli: %s\n", problem->c_str());
            return kExitUsage;
        }
    }

    std::unique_ptr<QtSettingsStore> store =
        options.settingsFile
            ? std::make_unique<QtSettingsStore>(QString::fromStdString(*options.settingsFile))
            : std::make_unique<QtSettingsStore>();
    DerivedPaths paths = MakeDerivedPaths(programFolder);
    // As the window does at start-up: a fresh store behaves as a first run.
    StorePageDefaults(*store, paths.DesktopFolder());
    OverlaySettingsStore settings(*store);
    ApplyOverrides(options, settings);

    const std::string defaultDestination =
        settings.GetString(section::kDestination, key::kDestination,
                           DerivedPaths::DefaultOutputFolder(paths.DesktopFolder()));
    CountingView view(options, defaultDestination, isatty(STDIN_FILENO) != 0,
                      isatty(STDERR_FILENO) != 0);
    const auto started = fs::file_time_type::clock::now();

    InterruptWatch::BlockSignals();
    auto processor = std::make_unique<CFileProcessor>(settings, view, paths.TempFolder());
    auto worker = std::make_unique<CWorker>(settings, view, paths);
    worker->SetProcessor(processor.get());
    bool interrupted = false;
    {
        InterruptWatch watch(view, *processor, *worker);
        worker->PostStartRun(selection);
        view.WaitForRunDone();
        interrupted = watch.Interrupted();
    }
    worker.reset();  // after the error-log question and the opening of the report
    view.EndProgress();
    // The run's logs need not outlive the pipeline, so what the summary takes from them is read
    // while it still exists, once all the run logged is on disk.
    processor->Logs().CloseErrorLog();
    fs::path errorLog = processor->Logs().ErrorLogPath();
    ErrorLogNames logged = ReadErrorLogNames(errorLog);
    processor.reset();  // writes the lifetime statistics
    bool saved = store->Sync();
    if (!saved) {
        std::fprintf(stderr, "quillon-cli: %s\n", store->SyncError().c_str());
    }
    if (!fs::exists(errorLog, error)) {
        errorLog.clear();  // the summary names no log that is gone
    }

    const RunDisplay display = view.Snapshot();
    RunSummary summary;
    summary.selection = selection;
    summary.results = ComputeResults(display.counters);
    summary.reportPath = paths.GetReportPath();
    summary.reportWritten =
        fs::exists(summary.reportPath, error) &&
        fs::last_write_time(summary.reportPath, error) >= started - std::chrono::seconds(2);
    summary.errorLogPath = errorLog;
    summary.filesWithErrors = std::move(logged.files);
    summary.foldersWithErrors = std::move(logged.folders);
    summary.reasons = std::move(logged.reasons);
    summary.cancelled = interrupted || display.stopped;

    if (options.json) {
        saved = WriteSummary(SummaryJson(summary)) && saved;
    } else if (!options.quiet) {
        saved = WriteSummary(SummaryText(summary)) && saved;
    }
    if (summary.cancelled) {
        return kExitCancelled;
    }
    if (view.Messages() > 0) {
        return kExitUsage;
    }
    if (!saved) {
        return kExitNotSaved;
    }
    const bool errors = display.errorsLogged || !summary.filesWithErrors.empty() ||
                        !summary.foldersWithErrors.empty();
    return errors ? kExitErrorsLogged : kExitDone;
}

}  // namespace
}  // namespace quillon

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const quillon::ParsedCommandLine parsed = quillon::ParseCommandLine(arguments);
    if (!parsed.options) {
        std::fputs(parsed.output.c_str(), parsed.exitCode == quillon::kExitDone ? stdout : stderr);
        return parsed.exitCode;
    }
    // Refused before anything is read or written: the settings and the default destination
    // would otherwise land at the root of the file system.
    if (const auto problem = quillon::HomeFolderProblem()) {
        std::fprintf(stderr, "quillon-cli: %s\n", problem->c_str());
        return quillon::kExitUsage;
    }
    quillon::KeepFreedMemoryForReuse();
    QCoreApplication application(argc, argv);
    const std::filesystem::path programFolder =
        QCoreApplication::applicationDirPath().toStdString();
    return quillon::Run(*parsed.options, programFolder);
}
