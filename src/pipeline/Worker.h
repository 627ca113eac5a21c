// The run driver: a worker thread that builds a run's file list, copies the files into the
// destination tree (or leaves them in place), hands the list to the pipeline, writes the report
// and finishes with the error-log question and the opening of the report.
#pragma once

#include <condition_variable>
#include <deque>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "pipeline/DerivedPaths.h"
#include "pipeline/FileProcessor.h"
#include "pipeline/RunView.h"
#include "pipeline/SettingsStore.h"
#include "pipeline/TreeLock.h"

namespace quillon {

// The display form of a selection: its last component, separators at the end ignored.
std::string DisplayName(std::string_view selection);

class CWorker {
  public:
    // The thread starts at once and waits for a run.
    CWorker(SettingsStore& settings, RunView& view, DerivedPaths& paths);
    // Resumes the thread if paused, asks it to quit and waits for it without limit.
    ~CWorker();

    CWorker(const CWorker&) = delete;
    CWorker& operator=(const CWorker&) = delete;

    // The pipeline object of the next run; the worker hands its pending requests (and a pause)
    // to it at every checkpoint.
    void SetProcessor(CFileProcessor* processor);

    // Starts a run with the selection (a folder or a file); returns at once.
    void PostStartRun(std::string selection);

    // A paused worker stops at its next checkpoint until resumed.
    void Pause();
    void Resume();
    bool Paused() const;

    // Copy mode only: deletes the tree this run copies into, once the (cancelled) run has left
    // it. Deletes nothing outside the destination and never the selection. Returns false when
    // there is nothing this run may delete.
    bool Revert();

    // True while the thread waits for a run: a run, with its last questions after the end was
    // posted, is over. A front end that answers questions on the thread that destroys the worker
    // waits for this (answering meanwhile) before it destroys it.
    bool Idle() const;

    // Where the current run copies to; the selection itself in place mode.
    std::filesystem::path CopyRoot() const;

  private:
    enum class Message { kStartRun, kQuit };

    // How a copy-mode run lays out its destination.
    struct Destination {
        std::filesystem::path root;        // the chosen folder
        std::filesystem::path copyRoot;    // receives the copy of the selection
        std::filesystem::path listedRoot;  // the folder the listed paths are relative to
    };

    void ThreadMain();
    void Post(Message message);
    void OnStartRun(const std::string& selection);
    std::optional<std::filesystem::path> ChooseDestination();
    bool LockTree(TreeLock& lock, const std::filesystem::path& root,
                  const TreeLock* held = nullptr);
    bool BuildFileList(const std::filesystem::path& selection, bool inPlace);
    bool WalkFolder(const std::filesystem::path& folder, bool inPlace);
    void ListLink(const std::filesystem::path& link, bool inPlace);
    void RemoveLeftover(const std::filesystem::path& file);
    std::optional<Destination> PlanDestination(const std::filesystem::path& selection,
                                               const std::filesystem::path& destination);
    enum class CopyOutcome { kDone, kCancelled, kFailed };
    CopyOutcome CopyFiles(const Destination& destination);
    struct CopyStep {
        std::filesystem::path from;
        std::filesystem::path to;
        std::error_code error;
        bool later = false;  // the file is optimized: its copy is made when it is processed
        bool done = false;
    };
    void CopyAll(std::vector<CopyStep>& steps);
    void FinishRun(bool copyMode);
    bool RevertRequested() const;
    // Ends a run that optimized nothing, with what the front end says in place of the results
    // ("" when a message has told why).
    void EndEarly(std::string_view ending);
    void EndRun();
    void WaitWhilePaused();
    void RevertNow();

    SettingsStore& settings_;
    RunView& view_;
    DerivedPaths& paths_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Message> queue_;
    std::string pendingSelection_;
    CFileProcessor* processor_ = nullptr;
    bool paused_ = false;
    bool running_ = false;  // from the start of a run until its end is posted
    bool busy_ = false;     // from the start of a run until its last question is answered
    bool revertRequested_ = false;
    std::optional<Destination> destination_;  // set once a copy-mode run knows its tree
    std::filesystem::path selection_;
    TreeLock selectionLock_;    // held from the listing to the end of the run
    TreeLock destinationLock_;  // the copy's tree, from its planning to the end of the run
    std::thread thread_;        // last: starts once everything above exists
};

}  // namespace quillon
