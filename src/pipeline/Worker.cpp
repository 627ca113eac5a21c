#include "pipeline/Worker.h"

#include <cstdio>
#include <system_error>
#include <utility>

#include "pipeline/Report.h"
#include "pipeline/Results.h"
#include "pipeline/SettingsKeys.h"

namespace quillon {
namespace {

constexpr std::string_view kChooseDestinationTitle =
    "Please select the folder to place Quillon optimized files.";
constexpr std::string_view kDestinationExistsText =
    "The specified destination exists. Would you like to\n replace it?";
constexpr std::string_view kErrorLogQuestion =
    "Quillon encountered errors during processing.\nWould you like to view the error log?";

bool IsSeparator(char c) {
#ifdef _WIN32
    return c == '\\' || c == '/' || c == ':';
#else
    return c == '/';
#endif
}

std::string WithoutTrailingSeparators(std::string_view path) {
    while (path.size() > 1 && IsSeparator(path.back())) {
        path.remove_suffix(1);
    }
    return std::string(path);
}

// True when inner lies strictly below outer.
bool IsStrictlyInside(const std::filesystem::path& inner, const std::filesystem::path& outer) {
    const std::filesystem::path relative =
        inner.lexically_normal().lexically_relative(outer.lexically_normal());
    return !relative.empty() && *relative.begin() != ".." && relative != ".";
}

bool SamePathNoCase(const std::filesystem::path& a, const std::filesystem::path& b) {
    const std::string left = WithoutTrailingSeparators(a.string());
    const std::string right = WithoutTrailingSeparators(b.string());
    return left.size() == right.size() && ContainsNoCase(left, right);
}

std::string CopyFailureText(const std::string& from, const std::string& to, int code) {
    const char* format =
        "Unable to backup file\n\n\t%s\n\n\t\tto\n\n\t%s.\n\nThe system error code is %ld";
    const int length = std::snprintf(nullptr, 0, format, from.c_str(), to.c_str(), long{code});
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    std::snprintf(text.data(), text.size(), format, from.c_str(), to.c_str(), long{code});
    text.pop_back();
    return text;
}

// Copies one file, creating the folders of the target when they are missing. A copy that fails
// part-way (a full disk, a size limit) is removed rather than left cut short.
std::error_code CopyOne(const std::filesystem::path& from, const std::filesystem::path& to) {
    std::error_code error;
    if (std::filesystem::equivalent(from, to, error)) {
        // A copy onto the file itself would truncate the user's original.
        return std::make_error_code(std::errc::file_exists);
    }
    const auto options = std::filesystem::copy_options::overwrite_existing;
    std::filesystem::copy_file(from, to, options, error);
    if (error == std::errc::no_such_file_or_directory) {
        // The folder is missing; when it cannot be made, that is the failure to report.
        std::filesystem::create_directories(to.parent_path(), error);
        if (!error) {
            std::filesystem::copy_file(from, to, options, error);
        }
    }
    if (error && error != std::errc::file_exists) {
        std::error_code ignored;
        std::filesystem::remove(to, ignored);
    }
    return error;
}

}  // namespace

std::string DisplayName(std::string_view selection) {
    const std::string trimmed = WithoutTrailingSeparators(selection);
    std::size_t start = trimmed.size();
    while (start > 0 && !IsSeparator(trimmed[start - 1])) {
        --start;
    }
    return trimmed.substr(start);
}

CWorker::CWorker(SettingsStore& settings, RunView& view, DerivedPaths& paths)
    : settings_(settings), view_(view), paths_(paths), thread_([this] { ThreadMain(); }) {}

CWorker::~CWorker() {
    Resume();
    Post(Message::kQuit);
    thread_.join();
}

void CWorker::SetProcessor(CFileProcessor* processor) {
    std::lock_guard lock(mutex_);
    processor_ = processor;
    if (processor_) {
        processor_->SetMessagePump([this] { WaitWhilePaused(); });
    }
}

void CWorker::PostStartRun(std::string selection) {
    {
        std::lock_guard lock(mutex_);
        pendingSelection_ = std::move(selection);
    }
    Post(Message::kStartRun);
}

void CWorker::Post(Message message) {
    std::lock_guard lock(mutex_);
    queue_.push_back(message);
    wake_.notify_all();
}

void CWorker::ThreadMain() {
    for (;;) {
        std::string selection;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return !queue_.empty(); });
            const Message message = queue_.front();
            queue_.pop_front();
            if (message == Message::kQuit) {
                return;
            }
            selection = pendingSelection_;
            busy_ = true;
        }
        OnStartRun(selection);
        std::lock_guard lock(mutex_);
        busy_ = false;
    }
}

void CWorker::Pause() {
    std::lock_guard lock(mutex_);
    paused_ = true;
}

void CWorker::Resume() {
    std::lock_guard lock(mutex_);
    paused_ = false;
    wake_.notify_all();
}

bool CWorker::Idle() const {
    std::lock_guard lock(mutex_);
    return !busy_ && queue_.empty();
}

bool CWorker::Paused() const {
    std::lock_guard lock(mutex_);
    return paused_;
}

void CWorker::WaitWhilePaused() {
    std::unique_lock lock(mutex_);
    wake_.wait(lock, [this] { return !paused_; });
}

std::filesystem::path CWorker::CopyRoot() const {
    std::lock_guard lock(mutex_);
    return destination_ ? destination_->copyRoot : selection_;
}

bool CWorker::Revert() {
    std::unique_lock lock(mutex_);
    if (!destination_) {
        return false;
    }
    revertRequested_ = true;
    if (running_) {
        return true;  // the run deletes its tree once it has left it
    }
    lock.unlock();
    RevertNow();
    return true;
}

void CWorker::RevertNow() {
    std::optional<Destination> destination;
    std::filesystem::path selection;
    {
        std::lock_guard lock(mutex_);
        revertRequested_ = false;
        destination = destination_;
        selection = selection_;
    }
    // Only a tree this run made inside the destination goes, and never one that holds the
    // selection.
    if (!destination || !IsStrictlyInside(destination->copyRoot, destination->root) ||
        destination->copyRoot.lexically_normal() == selection.lexically_normal() ||
        IsStrictlyInside(selection, destination->copyRoot)) {
        return;
    }
    std::error_code ignored;
    std::filesystem::remove_all(destination->copyRoot, ignored);
}

void CWorker::OnStartRun(const std::string& selectionText) {
    CFileProcessor* processor = nullptr;
    const std::filesystem::path selection = WithoutTrailingSeparators(selectionText);
    {
        std::lock_guard lock(mutex_);
        processor = processor_;
        running_ = true;
        revertRequested_ = false;
        destination_.reset();
        selection_ = selection;
    }
    // The report is named after the selection; a renumbered copy renames it below.
    paths_.SetReportName(DisplayName(selection.string()));
    view_.Update([](RunDisplay& display) {
        display.counters = {};
        display.errorsLogged = false;
        display.busy = true;
        display.revertEnabled = false;
    });
    const bool copyMode = settings_.GetInt(section::kDestination, key::kNewOrReplace, 0) == 0;
    std::filesystem::path destination;
    if (copyMode) {
        const auto chosen = ChooseDestination();
        if (!chosen || !processor) {
            EndRun();
            return;
        }
        destination = *chosen;
    }
    paths_.SetOutputFolder(destination.string());

    view_.Update([](RunDisplay& display) {
        display.status = "Building file list";
        display.typeLabel.clear();
        display.destinationLabel.clear();
        display.currentFile.clear();
        display.filesTotal = 0;
        display.filesDone = 0;
    });
    view_.SendProgress();
    BuildFileList(selection, destination);

    if (copyMode) {
        view_.Update([](RunDisplay& display) { display.status = "Backing up source files"; });
        view_.SendProgress();
        const auto plan = PlanDestination(selection, destination);
        if (!plan || !CopyFiles(*plan)) {
            processor->Files().clear();
            EndRun();
            return;
        }
    } else {
        view_.Update([&](RunDisplay& display) {
            display.destinationLabel = DisplayName(selection.string());
        });
    }
    view_.Update([copyMode](RunDisplay& display) {
        display.busy = false;
        display.revertEnabled = copyMode;
    });
    view_.PostProgress();
    processor->ProcessList();
    FinishRun(copyMode);
}

std::optional<std::filesystem::path> CWorker::ChooseDestination() {
    std::string destination;
    if (settings_.GetInt(section::kDestination, key::kPromptForDestination, 0) == 0) {
        const auto chosen = view_.ChooseFolder(kChooseDestinationTitle);
        if (!chosen || chosen->empty()) {
            return std::nullopt;
        }
        destination = *chosen;
    } else {
        const std::string fallback = DerivedPaths::DefaultOutputFolder(paths_.DesktopFolder());
        destination = settings_.GetString(section::kDestination, key::kDestination, fallback);
        // An empty stored destination would copy to paths relative to the current folder and
        // make the selection itself the tree that Revert deletes.
        if (destination.empty()) {
            destination = fallback;
        }
    }
    return std::filesystem::path(destination);
}

void CWorker::BuildFileList(const std::filesystem::path& selection,
                            const std::filesystem::path& destination) {
    std::error_code error;
    if (std::filesystem::is_regular_file(selection, error)) {
        processor_->AddFile(selection.string());
        return;
    }
    // A destination inside the selection holds this run's (and earlier runs') output, which
    // must not be copied into itself again.
    const std::filesystem::path skip =
        !destination.empty() && IsStrictlyInside(destination, selection) ? destination
                                                                         : std::filesystem::path();
    WalkFolder(selection, skip);
}

// Depth first, in the order the folder lists its entries. Links to folders are not followed, so
// a link loop cannot make the walk endless; only regular files (or links to them) are listed,
// since devices and pipes cannot be copied or optimized. A folder that cannot be read is named in
// the error log and the walk goes on without it.
void CWorker::WalkFolder(const std::filesystem::path& folder, const std::filesystem::path& skip) {
    std::error_code error;
    std::filesystem::directory_iterator entries(folder, error);
    for (const std::filesystem::directory_iterator end; !error && entries != end;
         entries.increment(error)) {
        const std::filesystem::directory_entry& entry = *entries;
        std::error_code kind;
        if (entry.is_symlink(kind)) {
            if (entry.is_regular_file(kind)) {
                processor_->AddFile(entry.path().string());
            }
        } else if (entry.is_directory(kind)) {
            if (skip.empty() || entry.path().lexically_normal() != skip.lexically_normal()) {
                WalkFolder(entry.path(), skip);
            }
        } else if (entry.is_regular_file(kind)) {
            processor_->AddFile(entry.path().string());
        }
    }
    if (error) {
        processor_->Logs().OpenErrorLog();
        processor_->WriteErrorLog(ErrorLogEntry("read folder", folder.string(), error.message()));
    }
}

std::optional<CWorker::Destination> CWorker::PlanDestination(
    const std::filesystem::path& selection, const std::filesystem::path& destination) {
    const std::filesystem::path desktop = paths_.DesktopFolder();
    const std::string label = SamePathNoCase(destination, desktop) ||
                                      SamePathNoCase(destination, desktop / kOutputFolderName)
                                  ? std::string(kOutputFolderName)
                                  : DisplayName(destination.string());
    view_.Update([&label](RunDisplay& display) { display.destinationLabel = label; });

    Destination plan;
    plan.root = destination;
    std::error_code error;
    std::string baseName;
    if (std::filesystem::is_regular_file(selection, error)) {
        // A single file keeps its folders below the destination: /web/site/a.htm goes to
        // destination/web/site/a.htm.
        plan.listedRoot = selection.parent_path();
        plan.copyRoot = destination / plan.listedRoot.relative_path();
        baseName = DisplayName(plan.listedRoot.string());
    } else {
        plan.listedRoot = selection;
        baseName = DisplayName(selection.string());
        plan.copyRoot = destination / baseName;
    }
    // A selection at the top of the file system has no name of its own to copy into.
    if (baseName.empty() || baseName == "/") {
        baseName = "root";
        plan.copyRoot = destination / baseName;
    }

    if (std::filesystem::exists(plan.copyRoot, error)) {
        switch (view_.AskDestinationExists(kDestinationExistsText)) {
            case ExistsAnswer::kCancel:
                view_.Update([](RunDisplay& display) { display.stopped = true; });
                return std::nullopt;
            case ExistsAnswer::kModify: {
                // Copy next to the old tree, as site1, site2, ...
                const std::filesystem::path base = plan.copyRoot;
                for (int n = 1; n < 0x7FFFFFFF; ++n) {
                    std::filesystem::path candidate = base;
                    candidate += std::to_string(n);
                    if (!std::filesystem::exists(candidate, error)) {
                        plan.copyRoot = candidate;
                        paths_.SetReportName(baseName + std::to_string(n));
                        break;
                    }
                }
                break;
            }
            case ExistsAnswer::kReplace:
                break;
        }
    }
    std::lock_guard lock(mutex_);
    destination_ = plan;
    return plan;
}

bool CWorker::CopyFiles(const Destination& destination) {
    std::deque<std::string>& files = processor_->Files();
    for (std::string& file : files) {
        WaitWhilePaused();
        const std::filesystem::path from(file);
        const std::filesystem::path to =
            destination.copyRoot / from.lexically_relative(destination.listedRoot);
        const std::error_code error = CopyOne(from, to);
        if (error) {
            view_.ShowMessage(CopyFailureText(from.string(), to.string(), error.value()));
            return false;
        }
        file = to.string();
    }
    return true;
}

void CWorker::FinishRun(bool copyMode) {
    CFileProcessor& processor = *processor_;
    const RunDisplay display = view_.Snapshot();
    ReportInputs report;
    report.counters = display.counters;
    report.logPath = processor.Logs().LogPath();
    report.displayName = DisplayName(selection_.string());
    report.copyRoot = CopyRoot();
    report.reportPath = paths_.GetReportPath();
    report.createdAt = std::time(nullptr);
    if (!WriteReport(report)) {
        view_.ShowMessage("Unable to create HTML report!");
    }
    processor.Logs().CloseErrorLog();
    bool revert = false;
    {
        std::lock_guard lock(mutex_);
        revert = revertRequested_ && copyMode;
    }
    if (revert) {
        RevertNow();
    }

    const bool errorsLogged = view_.Snapshot().errorsLogged;
    EndRun();
    if (view_.Snapshot().stopped) {
        return;
    }
    const bool openWish = settings_.GetInt(section::kReport, key::kGenerateReports, 0) != 0 &&
                          settings_.GetInt(section::kReport, key::kAutoOpenReports, 0) != 0 &&
                          ComputeResults(display.counters).saved;
    if (errorsLogged) {
        if (view_.AskYesNo(kErrorLogQuestion)) {
            view_.OpenDocument({}, processor.Logs().ErrorLogPath());
            return;
        }
    }
    if (openWish) {
        OpenReport(settings_, paths_, view_);
    }
}

// Marks the run as over and tells the front end.
void CWorker::EndRun() {
    {
        std::lock_guard lock(mutex_);
        running_ = false;
    }
    view_.Update([](RunDisplay& display) { display.busy = false; });
    view_.PostRunDone();
}

}  // namespace quillon
