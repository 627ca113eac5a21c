// The per-file optimization pipeline: classifies each file of a run by its name, reads it whole,
// runs the stage of its kind, writes it back when it became smaller (in copy mode, writes its
// copy, smaller or as it was), counts the saving and logs it. Files are worked on by a pool of
// threads, several at once; what a file's work produced is taken into the counters and logs by
// the list loop, in list order, so that a run's logs, report and summary do not depend on how
// many files were worked on at once.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <future>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "pipeline/FileClass.h"
#include "pipeline/FileIO.h"
#include "pipeline/FileKinds.h"
#include "pipeline/RunLogs.h"
#include "pipeline/RunView.h"
#include "pipeline/SettingsStore.h"

namespace quillon {

// How the processing of one file can end early. The list loop abandons the file on the first
// two and ends the run on a cancel.
enum class RunSignal {
    kFileError = 1,    // the file cannot be written back or backed up
    kOutOfMemory = 2,  // memory exhausted
    kCancel = 3,       // the user stopped the run
};

// How many files a run works on at once: the "Files at Once" setting, where 0 (the default)
// means one per processor core.
unsigned FilesAtOnce(const SettingsStore& settings);
// More threads than this gain nothing on files that are read whole.
inline constexpr unsigned kMaxFilesAtOnce = 64;

class CFileProcessor {
  public:
    // A kind's stage; tests put in their own.
    using StageFunction = std::function<std::optional<std::uint32_t>(
        std::span<std::uint8_t> file, const StageSettings& settings, StageEvents& events)>;

    // Loads the lifetime statistics and deletes the logs a previous run left.
    CFileProcessor(SettingsStore& settings, RunView& view, const std::filesystem::path& tempFolder);
    // Closes the logs and writes the lifetime statistics back.
    ~CFileProcessor();

    CFileProcessor(const CFileProcessor&) = delete;
    CFileProcessor& operator=(const CFileProcessor&) = delete;

    // Appends the path unless it is listed already.
    void AddFile(std::string_view path);
    // The files of the run, in the order added; the run driver replaces them by their copies.
    std::deque<std::string>& Files() { return files_; }

    // Processes every listed file, emptying the list.
    void ProcessList();

    // Whether a file of this name is optimized under the current settings: it is of a kind whose
    // optimizer is on, and no backup.
    bool WouldOptimize(std::string_view path) const;
    // In copy mode, the copy `to` (the name on the list) of a file that is optimized is made when
    // the file is: read from `from`, the copy is written once, optimized or as it was. Each file
    // is then read once and written once, instead of copied and replaced.
    void CopyWhenProcessed(std::string to, std::string from);
    // Makes the copies still owed once the list is done (a cancel stopped the run before their
    // files), in the order of their names, for as long as `goOn` says so. A copy that fails is
    // named in the error log.
    void MakeOwedCopies(const std::function<bool()>& goOn);

    // Lets pending requests to the worker be handled (and waits while the run is paused), then
    // tells whether the run was cancelled. May be called from any thread that works on files.
    bool CheckCancel();
    // May be called from any thread. The request holds until the run driver clears it at the end
    // of the run, so that listing and copying stop at their checkpoints too.
    void Cancel();
    void ClearCancel() { cancelRequested_ = false; }
    void SetStatus(std::string_view text);

    // Notes a file a stage could not handle, and marks the run as having logged errors.
    void WriteErrorLog(std::string_view text);
    // Notes something the user may want to know that is no error (a leftover of a stopped run
    // that was removed).
    void WriteErrorLogNote(std::string_view text) { logs_.WriteErrorLog(text); }
    RunLogs& Logs() { return logs_; }

    void SetStage(FileClass fileClass, StageFunction stage);
    // Called at every CheckCancel, on whichever thread works on a file: the run driver hands
    // pending requests (and a pause) to the worker there.
    void SetMessagePump(std::function<void()> pump) { messagePump_ = std::move(pump); }
    // What the files being worked on may weigh together (FileKind::memoryPerByte times their
    // sizes); a file heavier than this is worked on alone.
    void SetWeightBudget(std::uint64_t bytes) { weightBudget_ = bytes; }

  private:
    struct FileJob;
    struct FileOutcome;
    class FileWork;

    std::optional<FileJob> PrepareFile(std::string path);
    const FileKind* KindToOptimize(std::string_view path) const;
    FileOutcome WorkOnFile(const FileJob& job);
    bool StageFile(const FileJob& job, const FileBuffer& buffer, FileWork& work,
                   FileOutcome& outcome);
    void PlaceCopy(const FileJob& job, FileOutcome& outcome);
    void CommitFile(const FileOutcome& outcome);
    void CommitOldest(std::deque<std::future<FileOutcome>>& inFlight);
    void FinishWork(std::uint64_t weight);
    void WaitForRoom(std::deque<std::future<FileOutcome>>& inFlight, std::uint64_t weight,
                     std::size_t held);
    void CountDone(const std::filesystem::path& file);
    void ShowFile(const std::string& path, FileClass fileClass);
    void CountFile(FileClass fileClass, std::uint32_t before, std::uint32_t after);
    void CountSaving(std::uint32_t before, std::uint32_t after);
    void ReplaceFile(const FileJob& job, const FileBuffer& read, std::uint32_t size,
                     FileWork& work);
    std::string BackupFile(const FileJob& job, const FileStamp& stamp, FileWork& work);

    SettingsStore& settings_;
    RunView& view_;
    RunLogs logs_;
    LifetimeStatistics lifetime_;
    std::deque<std::string> files_;
    std::unordered_set<std::string> listed_;
    // Copies made when their files are processed: the copy's name, and its source.
    std::unordered_map<std::string, std::string> copyFrom_;
    std::atomic<bool> cancelRequested_{false};
    bool running_ = false;
    std::uint32_t runBytesBefore_ = 0;
    std::uint32_t runBytesSaved_ = 0;
    std::array<StageFunction, kFileKindCount> stages_;
    std::function<void()> messagePump_;
    std::uint64_t weightBudget_ = std::uint64_t{512} << 20;
    // The files the pool works on: their weight, and how many have finished so far.
    std::mutex finishMutex_;
    std::condition_variable finished_;
    std::uint64_t weightWorking_ = 0;
    std::uint64_t filesFinished_ = 0;
};

}  // namespace quillon
