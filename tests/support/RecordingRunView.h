// A run view that records what a run showed, for tests to check.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "pipeline/RunView.h"

namespace quillon::test {

class RecordingRunView : public RunView {
  public:
    void SendProgress() override;
    void PostProgress() override;

    // Every status text in the order shown, without repeats in a row.
    std::vector<std::string> Statuses() const;
    int SentCount() const;
    // Called at every SendProgress, on the worker's side: a test can cancel from here.
    std::function<void(const RunDisplay&)> onSend;

  private:
    void Record();

    mutable std::mutex mutex_;
    std::vector<std::string> statuses_;
    int sent_ = 0;
};

}  // namespace quillon::test
