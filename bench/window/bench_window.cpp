#include "bench_window.hpp"

#include <cstdio>
#include <exception>
#include <utility>

#include "app/serve_gate.hpp"
#include "bridge/host_events.hpp"
#include "platform/main_loop.hpp"

namespace tovik::bench {

ScratchFolder::ScratchFolder(const std::string& prefix)
    : path_(std::filesystem::temp_directory_path() / (prefix + random_bridge_token())) {
    std::filesystem::create_directories(path_);
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void run_bench_window(int& argc, char**& argv, CommandTable table, const std::filesystem::path& work,
                      const WindowOptions& options, const char* name) {
    TaskPool pool(1);
    Dispatcher dispatcher(std::move(table), pool, post_to_main);
    HostEvents events(post_to_main);
    HostContext host{dispatcher, events, {work, work, work}};
    try {
        WindowOptions with_channel = options;
        with_channel.page_channel_modules = TOVIK_PAGE_CHANNEL_MODULES;
        run_window(argc, argv, host, with_channel);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", name, e.what());
    }
}

}  // namespace tovik::bench
