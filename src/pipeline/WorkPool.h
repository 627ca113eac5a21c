// A fixed set of threads that run the tasks handed to them, first come first served. The run
// driver keeps the order of results itself; the pool only runs.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace quillon {

class WorkPool {
  public:
    explicit WorkPool(unsigned threads);
    // Runs what is still queued, then joins the threads.
    ~WorkPool();

    WorkPool(const WorkPool&) = delete;
    WorkPool& operator=(const WorkPool&) = delete;

    void Submit(std::function<void()> task);

  private:
    void ThreadMain();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> tasks_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;  // last: started once everything above exists
};

}  // namespace quillon
