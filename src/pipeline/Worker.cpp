#include "pipeline/Worker.h"

#include <atomic>
#include <cstdio>
#include <set>
#include <system_error>
#include <utility>

#include "pipeline/FileIO.h"
#include "pipeline/Report.h"
#include "pipeline/Results.h"
#include "pipeline/SettingsKeys.h"
#include "pipeline/WorkPool.h"

namespace quillon {
namespace {

constexpr std::string_view kChooseDestinationTitle =
    "Please select the folder to place Quillon optimized files.";
constexpr std::string_view kNoDestinationChosen =
    "No destination folder was chosen, so nothing was copied or optimized.";
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

bool IsInsideOrSame(const std::filesystem::path& inner, const std::filesystem::path& outer) {
    return inner.lexically_normal() == outer.lexically_normal() || IsStrictlyInside(inner, outer);
}

// The number the message has always given, and what it means, since a bare number tells the
// user nothing.
std::string CopyFailureText(const std::string& from, const std::string& to,
                            const std::error_code& error) {
    const char* format =
        "Unable to backup file\n\n\t%s\n\n\t\tto\n\n\t%s.\n\nThe system error code is %ld (%s)";
    const long code = error.value();
    const std::string reason = error.message();
    const int length =
        std::snprintf(nullptr, 0, format, from.c_str(), to.c_str(), code, reason.c_str());
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    std::snprintf(text.data(), text.size(), format, from.c_str(), to.c_str(), code, reason.c_str());
    text.pop_back();
    return text;
}

std::filesystem::path Numbered(const std::filesystem::path& copyRoot, int n) {
    std::filesystem::path numbered = copyRoot;
    numbered += std::to_string(n);
    return numbered;
}

// Modify copies next to the old tree, as site1, site2, ...: the first of those names that is free.
std::optional<int> FreeCopyNumber(const std::filesystem::path& copyRoot) {
    std::error_code error;
    for (int n = 1; n < 0x7FFFFFFF; ++n) {
        if (!std::filesystem::exists(Numbered(copyRoot, n), error)) {
            return n;
        }
    }
    return std::nullopt;
}

// Names the copy that exists and where Modify would copy to, so that the answer is an informed one.
std::string DestinationExistsText(const std::filesystem::path& copyRoot,
                                  std::optional<int> freeNumber) {
    std::string text = "The specified destination exists:\n\n\t" + copyRoot.string() +
                       "\n\nReplace copies over it (files of the same name are overwritten).";
    if (freeNumber) {
        text +=
            "\nModify copies to\n\n\t" + Numbered(copyRoot, *freeNumber).string() + "\n\ninstead.";
    }
    return text;
}

std::string SelectionGoneText(const std::filesystem::path& selection) {
    return "The selected folder or file\n\n\t" + selection.string() +
           "\n\nno longer exists, so nothing was optimized. Please select it again.";
}

std::string TreeInUseText(const std::filesystem::path& tree) {
    return "Another Quillon run is working on\n\n\t" + tree.string() +
           "\n\nor on a folder around it or inside it. Please try again when it has finished.";
}

std::string DestinationOverlapText(const std::filesystem::path& destination,
                                   const std::filesystem::path& selection) {
    return "The destination\n\n\t" + destination.string() +
           "\n\nis the folder being optimized, lies inside it or holds it:\n\n\t" +
           selection.string() +
           "\n\nPlease choose a destination outside the folder being optimized.";
}

// A copy that would be its own source would stand in for the original, which the run would then
// optimize unbacked: it fails with "file exists".
std::error_code SameFileError(const std::filesystem::path& from, const std::filesystem::path& to) {
    std::error_code error;
    return std::filesystem::equivalent(from, to, error)
               ? std::make_error_code(std::errc::file_exists)
               : std::error_code();
}

// Copies one file, creating the folders of the target when they are missing. The copy replaces
// whatever has the target's name (a link too) and is never written through it; a copy that fails
// part-way (a full disk, a size limit) leaves nothing behind.
std::error_code CopyOne(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (const std::error_code same = SameFileError(from, to)) {
        return same;
    }
    std::error_code error = CopyWholeFile(from, to);
    if (error == std::errc::no_such_file_or_directory) {
        // The folder is missing, or was while another thread made it: make sure it is there
        // and copy again. When it cannot be made, that is the failure to report; a source that
        // is gone fails the second copy as it did the first.
        std::error_code folder;
        std::filesystem::create_directories(to.parent_path(), folder);
        error = folder ? folder : CopyWholeFile(from, to);
    }
    return error;
}

// Readies a copy that is made when its file is processed: the target's folders are made and the
// source is opened, so that a copy that cannot be made fails here, with the others, before
// anything is optimized.
std::error_code PrepareLaterCopy(const std::filesystem::path& from,
                                 const std::filesystem::path& to) {
    std::error_code error = SameFileError(from, to);
    if (!error) {
        error = CheckReadable(from);
    }
    if (!error) {
        std::filesystem::create_directories(to.parent_path(), error);
    }
    return error;
}

// True when a folder between the copy's root and the target is a symbolic link: a copy through
// it would land outside the destination. Folders found real are remembered.
bool PassesThroughLink(const std::filesystem::path& copyRoot, const std::filesystem::path& target,
                       std::set<std::filesystem::path>& realFolders) {
    std::filesystem::path folder = copyRoot;
    std::error_code error;
    if (std::filesystem::is_symlink(folder, error)) {
        return true;
    }
    for (const auto& part : target.parent_path().lexically_relative(copyRoot)) {
        if (part == ".") {
            continue;
        }
        folder /= part;
        if (realFolders.contains(folder)) {
            continue;
        }
        if (std::filesystem::is_symlink(folder, error)) {
            return true;
        }
        realFolders.insert(folder);
    }
    return false;
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
        display.report.clear();
        display.ending.reset();
    });
    // The window may hold a selection that was moved or deleted since it was made.
    std::error_code missing;
    if (std::filesystem::status(selection, missing).type() ==
        std::filesystem::file_type::not_found) {
        view_.ShowMessage(SelectionGoneText(selection));
        EndEarly("");
        return;
    }
    const bool copyMode = settings_.GetInt(section::kDestination, key::kNewOrReplace, 0) == 0;
    std::filesystem::path destination;
    if (copyMode) {
        const auto chosen = ChooseDestination();
        if (!chosen || !processor) {
            EndEarly(chosen ? "" : kNoDestinationChosen);
            return;
        }
        destination = *chosen;
    }
    // A single file is locked through its folder: the lock a file's descriptor holds stays with
    // the old file once the run has renamed the new one into its place.
    std::error_code kind;
    const bool singleFile = std::filesystem::is_regular_file(selection, kind);
    if (!processor || !LockTree(selectionLock_, singleFile ? selection.parent_path() : selection)) {
        EndEarly("");
        return;
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
    // A cancel while listing or copying leaves nothing to optimize: in copy mode the list may
    // still name originals that were not copied yet.
    bool listed = BuildFileList(selection, !copyMode);

    if (copyMode && listed) {
        view_.Update([](RunDisplay& display) { display.status = "Backing up source files"; });
        view_.SendProgress();
        const auto plan = PlanDestination(selection, destination);
        const CopyOutcome copied = plan ? CopyFiles(*plan) : CopyOutcome::kFailed;
        if (copied == CopyOutcome::kFailed) {
            processor->Files().clear();
            EndEarly("");
            return;
        }
        listed = copied == CopyOutcome::kDone;
    } else if (listed) {
        view_.Update([&](RunDisplay& display) {
            display.destinationLabel = DisplayName(selection.string());
        });
    }
    if (!listed) {
        processor->Files().clear();
    }
    view_.Update([copyMode](RunDisplay& display) {
        display.busy = false;
        display.revertEnabled = copyMode;
    });
    view_.PostProgress();
    processor->ProcessList();
    if (copyMode) {
        processor->MakeOwedCopies([this] { return !RevertRequested(); });
    }
    FinishRun(copyMode);
}

bool CWorker::LockTree(TreeLock& lock, const std::filesystem::path& root, const TreeLock* held) {
    if (lock.Lock(root, held)) {
        return true;
    }
    view_.ShowMessage(TreeInUseText(root));
    return false;
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

// False when the run was cancelled while listing.
bool CWorker::BuildFileList(const std::filesystem::path& selection, bool inPlace) {
    std::error_code error;
    if (std::filesystem::is_regular_file(selection, error)) {
        processor_->AddFile(selection.string());
        return !processor_->CheckCancel();
    }
    return WalkFolder(selection, inPlace);
}

// Depth first, in the order the folder lists its entries. Links to folders are not followed, so
// a link loop cannot make the walk endless; only regular files (or, outside in-place runs, links
// to them) are listed, since devices and pipes cannot be copied or optimized. A folder that cannot
// be read is named in the error log and the walk goes on without it. Temporary files that a
// stopped run left are never listed. Returns false when the run was cancelled.
bool CWorker::WalkFolder(const std::filesystem::path& folder, bool inPlace) {
    std::error_code error;
    std::filesystem::directory_iterator entries(folder, error);
    for (const std::filesystem::directory_iterator end; !error && entries != end;
         entries.increment(error)) {
        if (processor_->CheckCancel()) {
            return false;
        }
        const std::filesystem::directory_entry& entry = *entries;
        std::error_code kind;
        if (entry.is_symlink(kind)) {
            ListLink(entry.path(), inPlace);
        } else if (entry.is_directory(kind)) {
            if (!WalkFolder(entry.path(), inPlace)) {
                return false;
            }
        } else if (entry.is_regular_file(kind)) {
            if (!IsTemporaryName(entry.path().filename().string())) {
                processor_->AddFile(entry.path().string());
            } else if (inPlace) {
                RemoveLeftover(entry.path());
            }
        }
    }
    if (error) {
        processor_->Logs().OpenErrorLog();
        processor_->WriteErrorLog(ErrorLogEntry("read folder", folder.string(), error.message()));
    }
    return true;
}

// A copy takes the linked file's content. In place, a link is never optimized: replacing it
// would either write through it or turn it into a file of its own. One to a file inside the
// selection loses nothing (that file is listed itself); one to a file outside is named.
void CWorker::ListLink(const std::filesystem::path& link, bool inPlace) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(link, error)) {
        return;
    }
    if (!inPlace) {
        processor_->AddFile(link.string());
        return;
    }
    const auto target = std::filesystem::weakly_canonical(link, error);
    const auto root = std::filesystem::weakly_canonical(selection_, error);
    if (error || !IsStrictlyInside(target, root)) {
        processor_->Logs().OpenErrorLog();
        processor_->WriteErrorLog(ErrorLogEntry("optimize file", link.string(),
                                                "a link to a file outside the selection"));
    }
}

// Only this run may work on the tree (it holds the lock), so a temporary file in it is a
// leftover of a run that was stopped before it could clean up.
void CWorker::RemoveLeftover(const std::filesystem::path& file) {
    std::error_code error;
    if (std::filesystem::remove(file, error)) {
        processor_->Logs().OpenErrorLog();
        processor_->WriteErrorLogNote(
            "Removed a temporary file that an interrupted run left: " + file.string() + "\n");
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

    // A copy into the selection would be listed and copied again on every later run, and Revert
    // would delete inside the user's own tree; a copy that holds the selection would copy every
    // file onto itself. Both are refused before anything is written.
    if (IsInsideOrSame(plan.copyRoot, selection) || IsInsideOrSame(selection, plan.copyRoot)) {
        view_.ShowMessage(DestinationOverlapText(plan.copyRoot, selection));
        return std::nullopt;
    }
    if (std::filesystem::exists(plan.copyRoot, error)) {
        const std::optional<int> freeNumber = FreeCopyNumber(plan.copyRoot);
        switch (view_.AskDestinationExists(DestinationExistsText(plan.copyRoot, freeNumber))) {
            case ExistsAnswer::kCancel: {
                const std::string ending = "The destination\n\n\t" + plan.copyRoot.string() +
                                           "\n\nexists and was left as it is: nothing was copied "
                                           "or optimized.";
                view_.Update([&ending](RunDisplay& display) {
                    display.stopped = true;
                    display.ending = ending;
                });
                return std::nullopt;
            }
            case ExistsAnswer::kModify:
                if (freeNumber) {
                    plan.copyRoot = Numbered(plan.copyRoot, *freeNumber);
                    paths_.SetReportName(baseName + std::to_string(*freeNumber));
                }
                break;
            case ExistsAnswer::kReplace:
                break;
        }
    }
    std::filesystem::create_directories(plan.copyRoot, error);
    if (!LockTree(destinationLock_, plan.copyRoot, &selectionLock_)) {
        return std::nullopt;
    }
    // Under the lock, temporary files in the tree are leftovers of a stopped run.
    for (std::filesystem::recursive_directory_iterator entries(plan.copyRoot, error), end;
         !error && entries != end; entries.increment(error)) {
        if (entries->is_regular_file(error) && !entries->is_symlink(error) &&
            IsTemporaryName(entries->path().filename().string())) {
            RemoveLeftover(entries->path());
        }
    }
    std::lock_guard lock(mutex_);
    destination_ = plan;
    return plan;
}

CWorker::CopyOutcome CWorker::CopyFiles(const Destination& destination) {
    std::deque<std::string>& files = processor_->Files();
    // Where each file goes, decided in list order; a copy that would pass through a link is
    // named in the error log and left out.
    std::vector<CopyStep> steps;
    std::set<std::filesystem::path> realFolders;
    for (const std::string& file : files) {
        if (processor_->CheckCancel()) {
            return CopyOutcome::kCancelled;
        }
        std::filesystem::path from(file);
        std::filesystem::path to =
            destination.copyRoot / from.lexically_relative(destination.listedRoot);
        if (PassesThroughLink(destination.copyRoot, to, realFolders)) {
            processor_->Logs().OpenErrorLog();
            processor_->WriteErrorLog(
                ErrorLogEntry("copy file", from.string(),
                              "a folder of the copy is a link out of the destination"));
            continue;
        }
        const bool later = processor_->WouldOptimize(to.string());
        steps.push_back({std::move(from), std::move(to), {}, later});
    }
    CopyAll(steps);
    const bool cancelled = processor_->CheckCancel();
    std::deque<std::string> copies;
    for (const CopyStep& step : steps) {
        if (step.error && !cancelled) {
            view_.ShowMessage(CopyFailureText(step.from.string(), step.to.string(), step.error));
            return CopyOutcome::kFailed;
        }
        copies.push_back(step.to.string());
    }
    // Stopped or not, the copies readied so far are owed: a stopped run makes them at its end.
    for (const CopyStep& step : steps) {
        if (step.later && step.done) {
            processor_->CopyWhenProcessed(step.to.string(), step.from.string());
        }
    }
    if (cancelled) {
        return CopyOutcome::kCancelled;
    }
    files = std::move(copies);
    return CopyOutcome::kDone;
}

// Copies, and readies the copies made later, on as many threads as files are optimized at once.
// The first failure stops the copying; files after it may be copied all the same, which loses
// nothing. Pause and Cancel hold and stop every thread at its next file.
void CWorker::CopyAll(std::vector<CopyStep>& steps) {
    std::atomic<bool> failed{false};
    const auto copy = [this, &failed](CopyStep& step) {
        if (failed || processor_->CheckCancel()) {
            return;
        }
        step.error =
            step.later ? PrepareLaterCopy(step.from, step.to) : CopyOne(step.from, step.to);
        step.done = !step.error;
        if (step.error) {
            failed = true;
        }
    };
    const unsigned threads = FilesAtOnce(settings_);
    if (threads <= 1) {
        for (CopyStep& step : steps) {
            copy(step);
        }
        return;
    }
    WorkPool pool(threads);
    for (CopyStep& step : steps) {
        pool.Submit([&copy, &step] { copy(step); });
    }
}

bool CWorker::RevertRequested() const {
    std::lock_guard lock(mutex_);
    return revertRequested_;
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
    const bool reportWritten = WriteReport(report);
    if (reportWritten) {
        view_.Update([&report](RunDisplay& shown) { shown.report = report.reportPath; });
    } else {
        view_.ShowMessage("Unable to create HTML report!");
    }
    processor.Logs().CloseErrorLog();
    // The run stops taking Revert requests in the same step as it reads the last one: a request
    // that comes later finds the run over and is carried out at once.
    bool revert = false;
    {
        std::lock_guard lock(mutex_);
        revert = revertRequested_ && copyMode;
        running_ = false;
    }
    if (revert) {
        RevertNow();
    }

    const bool errorsLogged = view_.Snapshot().errorsLogged;
    EndRun();
    if (view_.Snapshot().stopped) {
        return;
    }
    const bool openWish = reportWritten &&
                          settings_.GetInt(section::kReport, key::kGenerateReports, 0) != 0 &&
                          settings_.GetInt(section::kReport, key::kAutoOpenReports, 0) != 0 &&
                          ComputeResults(display.counters).saved;
    if (errorsLogged) {
        if (view_.AskYesNo(kErrorLogQuestion)) {
            processor.Logs().KeepErrorLog();
            view_.OpenDocument({}, processor.Logs().ErrorLogPath());
            return;
        }
    }
    if (openWish) {
        OpenReport(settings_, paths_, view_);
    }
}

// An ending set before (at "Destination Exists") is kept.
void CWorker::EndEarly(std::string_view ending) {
    view_.Update([ending](RunDisplay& display) {
        if (!display.ending) {
            display.ending = std::string(ending);
        }
    });
    EndRun();
}

// Marks the run as over, lets other runs have its trees, and tells the front end.
void CWorker::EndRun() {
    {
        std::lock_guard lock(mutex_);
        running_ = false;
        if (processor_) {
            processor_->ClearCancel();
        }
    }
    selectionLock_.Release();
    destinationLock_.Release();
    view_.Update([](RunDisplay& display) { display.busy = false; });
    view_.PostRunDone();
}

}  // namespace quillon
