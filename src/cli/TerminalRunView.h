// The command line's side of a run: progress on standard error, questions asked on the terminal
// (or answered by the options when there is none), documents opened with the desktop's programs.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

#include "cli/CliOptions.h"
#include "pipeline/RunView.h"

namespace quillon {

class TerminalRunView : public RunView {
  public:
    // interactive: questions can be asked on the terminal; progressOnTerminal: standard error is
    // a terminal, so progress redraws one line.
    TerminalRunView(const CliOptions& options, std::string defaultDestination, bool interactive,
                    bool progressOnTerminal);

    void SendProgress() override;
    void PostProgress() override;
    void PostRunDone() override;
    std::optional<std::string> ChooseFolder(std::string_view title) override;
    ExistsAnswer AskDestinationExists(std::string_view text) override;
    void ShowMessage(std::string_view text) override;
    bool AskYesNo(std::string_view text) override;
    void OpenDocument(const std::filesystem::path& program,
                      const std::filesystem::path& document) override;

    void WaitForRunDone();
    // Ends the progress line, so what follows starts on a line of its own.
    void EndProgress();

  private:
    // statusPosted: a status was just set, rather than a figure changed.
    void Render(bool statusPosted);
    // Asks on the terminal; an empty answer (or end of input) gives the empty string.
    std::string Ask(std::string_view question);

    const CliOptions options_;
    const std::string defaultDestination_;
    const bool interactive_;
    const bool progressOnTerminal_;

    std::mutex outputMutex_;
    std::uint32_t lastFileShown_ = 0;
    bool lineOpen_ = false;

    std::mutex doneMutex_;
    std::condition_variable done_;
    bool runDone_ = false;
};

}  // namespace quillon
