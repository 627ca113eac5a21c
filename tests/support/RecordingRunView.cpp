#include "RecordingRunView.h"

namespace quillon::test {

void RecordingRunView::SendProgress() {
    Record();
    {
        std::lock_guard lock(mutex_);
        ++sent_;
    }
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

int RecordingRunView::SentCount() const {
    std::lock_guard lock(mutex_);
    return sent_;
}

}  // namespace quillon::test
