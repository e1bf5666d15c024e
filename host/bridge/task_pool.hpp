#pragma once
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace tovik {

// A fixed set of worker threads for background commands. Destruction finishes
// the queued tasks, then joins.
class TaskPool {
public:
    explicit TaskPool(unsigned threads);
    ~TaskPool();
    TaskPool(const TaskPool&) = delete;
    TaskPool& operator=(const TaskPool&) = delete;

    void submit(std::function<void()> task);

private:
    void work();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> queue_;
    bool stopping_ = false;
    std::vector<std::jthread> workers_;
};

}  // namespace tovik
