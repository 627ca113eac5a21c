// A run view that records what a run showed and answers its questions from a script, for tests
// to drive and check.
#pragma once

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
    void SendProgress() override;
    void PostProgress() override;
    void PostRunDone() override;
    std::optional<std::string> ChooseFolder(std::string_view title) override;
    ExistsAnswer AskDestinationExists(std::string_view text) override;
    void ShowMessage(std::string_view text) override;
    bool AskYesNo(std::string_view text) override;
    void OpenDocument(const std::filesystem::path& program,
                      const std::filesystem::path& document) override;

    // Every status text in the order shown, without repeats in a row.
    std::vector<std::string> Statuses() const;
    // Waits until the run has posted its end; false after the timeout.
    bool WaitForRunDone(int seconds = 30);
    int RunDoneCount() const;
    // Every question and message text, in order.
    std::vector<std::string> Dialogs() const;
    // Every document opened, with its program.
    std::vector<std::pair<std::filesystem::path, std::filesystem::path>> Opened() const;

    // Called at every SendProgress, on the worker's side: a test can cancel from here.
    std::function<void(const RunDisplay&)> onSend;
    std::optional<std::string> folderAnswer;
    ExistsAnswer existsAnswer = ExistsAnswer::kModify;
    bool yesNoAnswer = false;

  private:
    void Record();
    void Note(std::string_view text);

    mutable std::mutex mutex_;
    std::condition_variable done_;
    std::vector<std::string> statuses_;
    std::vector<std::string> dialogs_;
    std::vector<std::pair<std::filesystem::path, std::filesystem::path>> opened_;
    int runDone_ = 0;
};

}  // namespace quillon::test
