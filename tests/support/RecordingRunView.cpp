#include "RecordingRunView.h"

#include <chrono>

namespace quillon::test {

void RecordingRunView::SendProgress() {
    Record();
    if (onSend) {
        onSend(Snapshot());
    }
}

void RecordingRunView::PostProgress() {
    Record();
}

void RecordingRunView::Record() {
    const std::string status = Snapshot().status;
    std::lock_guard lock(mutex_);
    if (!status.empty() && (statuses_.empty() || statuses_.back() != status)) {
        statuses_.push_back(status);
    }
}

std::vector<std::string> RecordingRunView::Statuses() const {
    std::lock_guard lock(mutex_);
    return statuses_;
}

void RecordingRunView::PostRunDone() {
    std::lock_guard lock(mutex_);
    ++runDone_;
    done_.notify_all();
}

bool RecordingRunView::WaitForRunDone(int seconds) {
    std::unique_lock lock(mutex_);
    return done_.wait_for(lock, std::chrono::seconds(seconds), [this] { return runDone_ > 0; });
}

int RecordingRunView::RunDoneCount() const {
    std::lock_guard lock(mutex_);
    return runDone_;
}

void RecordingRunView::Note(std::string_view text) {
    std::lock_guard lock(mutex_);
    dialogs_.emplace_back(text);
}

std::optional<std::string> RecordingRunView::ChooseFolder(std::string_view title) {
    Note(title);
    return folderAnswer;
}

ExistsAnswer RecordingRunView::AskDestinationExists(std::string_view text) {
    Note(text);
    return existsAnswer;
}

void RecordingRunView::ShowMessage(std::string_view text) {
    Note(text);
}

bool RecordingRunView::AskYesNo(std::string_view text) {
    Note(text);
    return yesNoAnswer;
}

void RecordingRunView::OpenDocument(const std::filesystem::path& program,
                                    const std::filesystem::path& document) {
    std::lock_guard lock(mutex_);
    opened_.emplace_back(program, document);
}

std::vector<std::string> RecordingRunView::Dialogs() const {
    std::lock_guard lock(mutex_);
    return dialogs_;
}

std::vector<std::pair<std::filesystem::path, std::filesystem::path>> RecordingRunView::Opened()
    const {
    std::lock_guard lock(mutex_);
    return opened_;
}

}  // namespace quillon::test
