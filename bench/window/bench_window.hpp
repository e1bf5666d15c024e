#pragma once
// What the window benchmarks share: a scratch folder for their data, and the
// real window host run over a command table until one of the benchmark's
// commands quits it.
#include <filesystem>
#include <string>

#include "bridge/dispatcher.hpp"
#include "platform/host_context.hpp"

namespace tovik::bench {

// A fresh folder under the temporary directory, removed with everything in it.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& prefix);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    [[nodiscard]] const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Runs the window over `table` with `work` as every folder; a window that
// cannot start is reported on stderr under `name`.
void run_bench_window(int& argc, char**& argv, CommandTable table, const std::filesystem::path& work,
                      const WindowOptions& options, const char* name);

}  // namespace tovik::bench
