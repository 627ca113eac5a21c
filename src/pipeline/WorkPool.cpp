#include "pipeline/WorkPool.h"

#include <algorithm>
#include <utility>

namespace quillon {

WorkPool::WorkPool(unsigned threads) {
    threads_.reserve(threads);
    for (unsigned i = 0; i < threads; ++i) {
        threads_.emplace_back([this] { ThreadMain(); });
    }
}

WorkPool::~WorkPool() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& thread : threads_) {
        thread.join();
    }
}

void WorkPool::Submit(std::function<void()> task, std::uint64_t weight) {
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back({weight, submitted_++, std::move(task)});
        std::push_heap(tasks_.begin(), tasks_.end());
    }
    wake_.notify_one();
}

void WorkPool::ThreadMain() {
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
            if (tasks_.empty()) {
                return;  // stopping, with nothing left to run
            }
            std::pop_heap(tasks_.begin(), tasks_.end());
            task = std::move(tasks_.back().task);
            tasks_.pop_back();
        }
        task();
    }
}

}  // namespace quillon
