// The window's side of a run. The worker calls in on its own thread; everything that touches the
// window runs on the window's thread: progress waits for the refresh, the end of the run and the
// status texts are queued, and the run's questions wait for their answer.
#pragma once

#include <QPointer>
#include <QWidget>
#include <condition_variable>
#include <functional>
#include <mutex>

#include "pipeline/RunView.h"
#include "ui/Prompts.h"

namespace quillon {

class WindowRunView : public RunView {
  public:
    // The window receives the calls; refresh and runDone run on its thread.
    WindowRunView(QWidget* window, UserPrompts& prompts, std::function<void()> refresh,
                  std::function<void()> runDone);

    void SendProgress() override;
    void PostProgress() override;
    void PostRunDone() override;
    std::optional<std::string> ChooseFolder(std::string_view title) override;
    ExistsAnswer AskDestinationExists(std::string_view text) override;
    void ShowMessage(std::string_view text) override;
    bool AskYesNo(std::string_view text) override;
    void OpenDocument(const std::filesystem::path& program,
                      const std::filesystem::path& document) override;

    // The window has closed what it showed at the end of the run (the results or a message).
    // Until then the run's later calls (the error-log question, the opening of the report) wait,
    // so that two modal dialogs never stand at once.
    void EndClosed();
    // True while a call of the run waits for EndClosed.
    bool CallWaiting() const;

  private:
    // Runs work on the window's thread and returns once it is done.
    void OnWindowThread(const std::function<void()>& work);
    void WaitUntilEndClosed();

    QPointer<QWidget> window_;
    UserPrompts& prompts_;
    std::function<void()> refresh_;
    std::function<void()> runDone_;

    mutable std::mutex endMutex_;
    std::condition_variable endClosed_;
    bool endShown_ = false;  // from PostRunDone to EndClosed
    bool callWaiting_ = false;
};

}  // namespace quillon
