// A fixed set of threads that run the tasks handed to them, the heaviest waiting task first and
// tasks of one weight first come first served. A heavy file then starts while there is still
// other work to run beside it, instead of holding up the end of a run alone. The run driver keeps
// the order of results itself; the pool only runs.
#pragma once

#include <condition_variable>
#include <cstdint>
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

    // `weight`: how much work the task is thought to be (for a file, its stage's memory).
    void Submit(std::function<void()> task, std::uint64_t weight = 0);

  private:
    struct Waiting {
        std::uint64_t weight;
        std::uint64_t order;
        std::function<void()> task;
        // The heap's front is the heaviest, and of equal weights the first submitted.
        friend bool operator<(const Waiting& a, const Waiting& b) {
            return a.weight != b.weight ? a.weight < b.weight : a.order > b.order;
        }
    };

    void ThreadMain();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<Waiting> tasks_;  // a heap, so that a task can be moved out of it
    std::uint64_t submitted_ = 0;
    bool stopping_ = false;
    std::vector<std::thread> threads_;  // last: started once everything above exists
};

}  // namespace quillon
