#pragma once
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <future>
#include <mutex>
#include <thread>

namespace tovik {

// One thread that runs print work in arrival order, so jobs never interleave
// on a printer and the spooler library is only used from one thread. Callers
// wait on a background command's thread, never on the window's event loop.
class PrintWorker {
public:
    PrintWorker();
    ~PrintWorker();
    PrintWorker(const PrintWorker&) = delete;
    PrintWorker& operator=(const PrintWorker&) = delete;

    // Runs `work` on the worker and returns its result or rethrows its exception.
    template <class Work>
    auto run(Work work) -> decltype(work()) {
        // Shared, so the worker may still be leaving the task when the caller wakes.
        auto task = std::make_shared<std::packaged_task<decltype(work())()>>(std::move(work));
        auto result = task->get_future();
        enqueue([task] { (*task)(); });
        return result.get();
    }

private:
    void enqueue(std::function<void()> job);
    void work(std::stop_token stop);

    std::mutex mutex_;
    std::condition_variable_any wake_;
    std::deque<std::function<void()>> queue_;
    std::jthread thread_;
};

}  // namespace tovik
