#pragma once
#include <cstdint>
#include <filesystem>
#include <string>

#include "bridge/dispatcher.hpp"
#include "bridge/host_events.hpp"
#include "platform/known_folders.hpp"
#include "platform/single_instance.hpp"

namespace tovik {

// What both transports of the command bridge share.
struct HostContext {
    Dispatcher& dispatcher;
    HostEvents& events;
    KnownFolders folders;
};

struct ServeOptions {
    std::uint16_t port = 0;  // 0: any free port
    std::string token;
};

// Serve mode: the client and the bridge over HTTP on 127.0.0.1 only. Prints
// "serving http://127.0.0.1:<port>/?bridge=<token>" first and runs until
// SIGINT or SIGTERM. Returns the exit status.
int run_serve(HostContext& host, const ServeOptions& options);

struct WindowOptions {
    SingleInstance* instance = nullptr;
    bool exit_after_invoke = false;  // benchmarks: quit once the first command has replied
    std::string extra_page_script;   // benchmarks: installed after the integrations, when not empty
    // Where the page channel's web-process module is; empty: web-extensions/
    // beside the program. Benchmarks built elsewhere point at the build's copy.
    std::filesystem::path page_channel_modules;
};

// The main window with its web view. Runs the event loop until the last
// window closes. Throws std::runtime_error when the window cannot be built.
int run_window(int& argc, char**& argv, HostContext& host, const WindowOptions& options);

}  // namespace tovik
