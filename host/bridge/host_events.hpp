#pragma once
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "bridge/dispatcher.hpp"

namespace tovik {

// Host-to-page events ("update-progress"). Emitted from any thread; delivered
// on the main thread to every transport that listens.
class HostEvents {
public:
    using Sink = std::function<void(const std::string& name, const nlohmann::json& payload)>;

    explicit HostEvents(PostToMain post_to_main) : post_to_main_(std::move(post_to_main)) {}

    void add_sink(Sink sink) {
        std::lock_guard lock(mutex_);
        sinks_.push_back(std::move(sink));
    }

    void emit(std::string name, nlohmann::json payload) {
        post_to_main_([this, name = std::move(name), payload = std::move(payload)] {
            std::vector<Sink> sinks;
            {
                std::lock_guard lock(mutex_);
                sinks = sinks_;
            }
            for (const auto& sink : sinks) sink(name, payload);
        });
    }

private:
    PostToMain post_to_main_;
    std::mutex mutex_;
    std::vector<Sink> sinks_;
};

}  // namespace tovik
