// A run view that records what a run showed and answers its questions from a script, for tests
// to drive and check.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "pipeline/RunView.h"

namespace quillon::test {

// Questions are answered from the public fields, set by the test before the run.
class RecordingRunView : public RunView {
  public:
    using Opening = std::pair<std::filesystem::path, std::filesystem::path>;  // program, document

    void SendProgress() override {
        Record();
        if (onSend) {
            onSend(Snapshot());
        }
    }
    void PostProgress() override { Record(); }
    void PostRunDone() override {
        std::lock_guard lock(mutex_);
        ++runDone_;
        done_.notify_all();
    }
    std::optional<std::string> ChooseFolder(std::string_view title) override {
        return Note(title, folderAnswer);
    }
    ExistsAnswer AskDestinationExists(std::string_view text) override {
        return Note(text, existsAnswer);
    }
    void ShowMessage(std::string_view text) override { Note(text, 0); }
    bool AskYesNo(std::string_view text) override { return Note(text, yesNoAnswer); }
    void OpenDocument(const std::filesystem::path& program,
                      const std::filesystem::path& document) override {
        std::lock_guard lock(mutex_);
        opened_.emplace_back(program, document);
    }

    // Every status text in the order shown, without repeats in a row.
    std::vector<std::string> Statuses() const { return Locked(statuses_); }
    // Every question and message text, in order.
    std::vector<std::string> Dialogs() const { return Locked(dialogs_); }
    std::vector<Opening> Opened() const { return Locked(opened_); }
    int RunDoneCount() const { return Locked(runDone_); }
    // Waits until the run has posted its end; false after the timeout.
    bool WaitForRunDone(int seconds = 30) {
        std::unique_lock lock(mutex_);
        return done_.wait_for(lock, std::chrono::seconds(seconds), [this] { return runDone_ > 0; });
    }

    // Called at every SendProgress, on the worker's side: a test can cancel from here.
    std::function<void(const RunDisplay&)> onSend;
    std::optional<std::string> folderAnswer;
    ExistsAnswer existsAnswer = ExistsAnswer::kModify;
    bool yesNoAnswer = false;

  private:
    void Record() {
        const std::string status = Snapshot().status;
        std::lock_guard lock(mutex_);
        if (!status.empty() && (statuses_.empty() || statuses_.back() != status)) {
            statuses_.push_back(status);
        }
    }
    template <typename Answer>
    Answer Note(std::string_view text, Answer answer) {
        std::lock_guard lock(mutex_);
        dialogs_.emplace_back(text);
        return answer;
    }
    template <typename T>
    T Locked(const T& field) const {
        std::lock_guard lock(mutex_);
        return field;
    }

    mutable std::mutex mutex_;
    std::condition_variable done_;
    std::vector<std::string> statuses_;
    std::vector<std::string> dialogs_;
    std::vector<Opening> opened_;
    int runDone_ = 0;
};

}  // namespace quillon::test
