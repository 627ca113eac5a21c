// The per-file optimization pipeline: classifies each file of a run by its name, reads it whole,
// runs the stages of its type, writes it back when it became smaller, counts the saving and logs
// it.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_set>

#include "imageopt/GifOptimizer.h"
#include "pipeline/FileClass.h"
#include "pipeline/FileIO.h"
#include "pipeline/PageChain.h"
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

// Whether a page file goes through the web-page chain. A 0 byte means it is no 8-bit text
// (UTF-16, or a binary file with a page's name): the passes take 0 for a deleted byte and would
// corrupt it. A file holding no markup at all (no `<` followed by a letter, `/`, `!` or `?`) is
// shown as plain text, its layout being its content: a licence or help text named .txt.
bool PageGoesThroughChain(const std::uint8_t* data, std::size_t size);

class CFileProcessor : private PageChainObserver, private gifopt::StatusSink {
  public:
    // The GIF stage turns the file's bytes into smaller ones, or none.
    using GifStage = std::function<GifStageResult(std::span<const std::uint8_t> file,
                                                  gifopt::StatusSink* status)>;

    // Loads the lifetime statistics and deletes the logs a previous run left.
    CFileProcessor(SettingsStore& settings, RunView& view, const std::filesystem::path& tempFolder);
    // Closes the logs and writes the lifetime statistics back.
    ~CFileProcessor() override;

    CFileProcessor(const CFileProcessor&) = delete;
    CFileProcessor& operator=(const CFileProcessor&) = delete;

    // Appends the path unless it is listed already.
    void AddFile(std::string_view path);
    // The files of the run, in the order added; the run driver replaces them by their copies.
    std::deque<std::string>& Files() { return files_; }

    // Runs ProcessFile on every listed file, emptying the list.
    void ProcessList();
    void ProcessFile(const std::string& path);

    // Lets pending requests to the worker be handled, then tells whether the run was cancelled.
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

    // Every processor starts with the GIF optimizer as its GIF stage; tests put in their own.
    void SetGifStage(GifStage stage) { gifStage_ = std::move(stage); }
    // Called at every CheckCancel on the worker thread; the run driver hands pending requests
    // (and a pause) to the worker there.
    void SetMessagePump(std::function<void()> pump) { messagePump_ = std::move(pump); }

  private:
    void OnStatus(std::string_view status) override { SetStatus(status); }
    void SetStatus(const char* text) override { SetStatus(std::string_view(text)); }
    void OnCheckpoint() override;

    bool ClassEnabled(FileClass fileClass, bool pages, bool gifs, bool jpegs) const;
    void ShowFile(const std::string& path, FileClass fileClass);
    std::optional<std::uint32_t> RunStage(FileClass fileClass, const std::string& path,
                                          FileBuffer& buffer, bool inlineJavaScript);
    std::optional<std::uint32_t> RunGifStage(const std::string& path, FileBuffer& buffer);
    std::optional<std::uint32_t> RunJpegStage(FileBuffer& buffer);
    std::uint32_t RunPageStages(FileBuffer& buffer, bool inlineJavaScript);
    void CountFile(FileClass fileClass, std::uint32_t newSize);
    void CountSaving(std::uint32_t newSize);
    // Backs the file up (in place, with backups on) and replaces it with the given bytes, unless
    // it changed since it was read. Throws RunSignal::kFileError, with the reason in the error
    // log and the file as it was, when either cannot be done.
    void ReplaceFile(const std::string& path, const std::uint8_t* data, std::uint32_t size);
    void BackupFile(const std::string& path);
    void ProcessNext();

    SettingsStore& settings_;
    RunView& view_;
    RunLogs logs_;
    LifetimeStatistics lifetime_;
    std::deque<std::string> files_;
    std::unordered_set<std::string> listed_;
    std::atomic<bool> cancelRequested_{false};
    bool running_ = false;
    std::uint32_t currentSize_ = 0;
    FileStamp currentStamp_;  // which file was read: a changed one is not replaced
    std::uint32_t currentSaving_ = 0;
    std::uint32_t runBytesBefore_ = 0;
    std::uint32_t runBytesSaved_ = 0;
    GifStage gifStage_;
    std::function<void()> messagePump_;
};

}  // namespace quillon
