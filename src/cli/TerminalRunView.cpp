#include "cli/TerminalRunView.h"

#include <QProcess>
#include <QString>
#include <QStringList>
#include <cstdio>
#include <iostream>
#include <utility>

#include "pipeline/Results.h"

namespace quillon {
namespace {

constexpr std::size_t kLineWidth = 79;

QString ToQString(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

std::string Bar(std::uint32_t done, std::uint32_t total) {
    constexpr int kWidth = 20;
    const int filled = total == 0 ? 0 : static_cast<int>(std::uint64_t{done} * kWidth / total);
    return "[" + std::string(filled, '#') + std::string(kWidth - filled, '.') + "]";
}

}  // namespace

TerminalRunView::TerminalRunView(const CliOptions& options, std::string defaultDestination,
                                 bool interactive, bool progressOnTerminal)
    : options_(options),
      defaultDestination_(std::move(defaultDestination)),
      interactive_(interactive),
      progressOnTerminal_(progressOnTerminal) {}

void TerminalRunView::SendProgress() {
    Render(false);
}

// The processor posts a new status; only then do the file name and the status belong together.
void TerminalRunView::PostProgress() {
    Render(true);
}

// On a terminal one line is redrawn; elsewhere (a log, a pipe) each file gets a line of its own.
void TerminalRunView::Render(bool statusPosted) {
    if (options_.quiet) {
        return;
    }
    const RunDisplay display = Snapshot();
    std::lock_guard lock(outputMutex_);
    if (progressOnTerminal_) {
        std::string line = Bar(display.filesDone, display.filesTotal) + " " +
                           std::to_string(display.filesDone) + "/" +
                           std::to_string(display.filesTotal);
        if (!display.bytesSavedText.empty()) {
            line += "  saved " +
                    FormatNumber(std::strtoull(display.bytesSavedText.c_str(), nullptr, 10)) +
                    " bytes";
        }
        line += "  " + (display.currentFile.empty() ? display.status : display.currentFile);
        if (line.size() > kLineWidth) {
            line.resize(kLineWidth);
        }
        std::fprintf(stderr, "\r\033[K%s", line.c_str());
        lineOpen_ = true;
    } else if (!statusPosted && !display.fileDone.empty() && display.filesDone != lastFileShown_) {
        // A file that one of the optimizers took is done; files are worked on several at once,
        // so the line names the file the count counted, not the one being worked on.
        std::fprintf(stderr, "%u/%u %s/%s\n", display.filesDone, display.filesTotal,
                     display.fileDone.parent_path().filename().string().c_str(),
                     display.fileDone.filename().string().c_str());
        lastFileShown_ = display.filesDone;
    }
    std::fflush(stderr);
}

void TerminalRunView::EndProgress() {
    std::lock_guard lock(outputMutex_);
    if (lineOpen_) {
        std::fputc('\n', stderr);
        lineOpen_ = false;
    }
}

void TerminalRunView::PostRunDone() {
    std::lock_guard lock(doneMutex_);
    runDone_ = true;
    done_.notify_all();
}

void TerminalRunView::WaitForRunDone() {
    std::unique_lock lock(doneMutex_);
    done_.wait(lock, [this] { return runDone_; });
}

std::string TerminalRunView::Ask(std::string_view question) {
    EndProgress();
    std::lock_guard lock(outputMutex_);
    std::fprintf(stderr, "%.*s ", static_cast<int>(question.size()), question.data());
    std::fflush(stderr);
    std::string answer;
    std::getline(std::cin, answer);
    return answer;
}

std::optional<std::string> TerminalRunView::ChooseFolder(std::string_view title) {
    if (!interactive_) {
        return defaultDestination_;
    }
    const std::string answer =
        Ask(std::string(title) + "\nDestination folder [" + defaultDestination_ + "]:");
    return answer.empty() ? defaultDestination_ : answer;
}

ExistsAnswer TerminalRunView::AskDestinationExists(std::string_view text) {
    if (options_.onExists) {
        return *options_.onExists;
    }
    if (!interactive_) {
        return ExistsAnswer::kModify;  // never overwrite a copy that nobody was asked about
    }
    for (;;) {
        const std::string answer = Ask(std::string(text) + "\n[r]eplace, [m]odify, [c]ancel?");
        if (answer == "r" || answer == "replace") {
            return ExistsAnswer::kReplace;
        }
        if (answer == "m" || answer == "modify") {
            return ExistsAnswer::kModify;
        }
        if (answer == "c" || answer == "cancel" || !std::cin) {
            return ExistsAnswer::kCancel;
        }
    }
}

void TerminalRunView::ShowMessage(std::string_view text) {
    EndProgress();
    std::lock_guard lock(outputMutex_);
    std::fprintf(stderr, "quillon-cli: %.*s\n", static_cast<int>(text.size()), text.data());
}

bool TerminalRunView::AskYesNo(std::string_view text) {
    if (!interactive_) {
        return false;  // the summary names the files with errors instead
    }
    const std::string answer = Ask(std::string(text) + " [y/N]");
    return answer == "y" || answer == "Y" || answer == "yes";
}

void TerminalRunView::OpenDocument(const std::filesystem::path& program,
                                   const std::filesystem::path& document) {
    // The document travels as one argument: no shell sees it, so spaces and quotes are safe.
    QString launcher = ToQString(program);
    if (launcher.isEmpty()) {
#if defined(Q_OS_MACOS)
        launcher = "open";
#elif defined(Q_OS_WIN)
        launcher = "explorer.exe";
#else
        launcher = "xdg-open";
#endif
    }
    if (!QProcess::startDetached(launcher, QStringList{ToQString(document)})) {
        ShowMessage("could not start " + launcher.toStdString() + " for " + document.string());
    }
}

}  // namespace quillon
