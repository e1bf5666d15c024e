#include "printing/print_worker.hpp"

namespace tovik {

PrintWorker::PrintWorker() : thread_([this](std::stop_token stop) { work(stop); }) {}

PrintWorker::~PrintWorker() {
    thread_.request_stop();
    thread_.join();
}

void PrintWorker::enqueue(std::function<void()> job) {
    {
        const std::lock_guard guard(mutex_);
        queue_.push_back(std::move(job));
    }
    wake_.notify_one();
}

void PrintWorker::work(std::stop_token stop) {
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(mutex_);
            // Queued jobs still run after a stop request: their callers are waiting.
            if (!wake_.wait(lock, stop, [this] { return !queue_.empty(); })) return;
            job = std::move(queue_.front());
            queue_.pop_front();
        }
        job();
    }
}

}  // namespace tovik
