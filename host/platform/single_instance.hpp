#pragma once
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tovik {

// One running instance per user: a lock file plus a local socket in the
// runtime folder. A later start hands its command line and working folder to
// the running instance and exits.
class SingleInstance {
public:
    // The guard when this process is the first; nullptr after handing over to
    // the running instance. Throws std::runtime_error when neither works.
    [[nodiscard]] static std::unique_ptr<SingleInstance> acquire(const std::filesystem::path& folder,
                                                                 const std::vector<std::string>& args);
    virtual ~SingleInstance() = default;

    // Accepts hand-overs on the main loop; `on_activate` runs on the main thread.
    virtual void listen(std::function<void()> on_activate) = 0;
};

}  // namespace tovik
