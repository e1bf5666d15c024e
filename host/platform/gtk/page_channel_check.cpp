// The page channel across a reload, in the real window: a page that reloads
// while its call is out must not get that call's answer in its next load,
// where the same call id means another call. Prints what the second load saw.
#include <gtk/gtk.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "app/serve_gate.hpp"
#include "bridge/host_events.hpp"
#include "platform/host_context.hpp"
#include "platform/main_loop.hpp"

int main(int argc, char** argv) {
    using namespace tovik;
    const auto work = std::filesystem::temp_directory_path() / ("tovik-channel-check-" + random_bridge_token());
    std::filesystem::create_directories(work);
    int status = 1;
    {
        CommandTable table;
        table.add("check_wait", CommandKind::background, [](const nlohmann::json& args) {
            std::this_thread::sleep_for(std::chrono::milliseconds(args.value("ms", 0)));
            return nlohmann::json(args.value("tag", std::string()));
        });
        table.add("check_report", CommandKind::immediate, [&status](const nlohmann::json& args) {
            const std::string text = args.value("text", std::string());
            std::printf("second load saw: %s\n", text.c_str());
            std::fflush(stdout);
            status = text == R"(1 {"ok":true,"value":"the second load"})" ? 0 : 1;
            post_to_main([] { gtk_main_quit(); });
            return nlohmann::json();
        });
        TaskPool pool(1);
        Dispatcher dispatcher(std::move(table), pool, post_to_main);
        HostEvents events(post_to_main);
        HostContext host{dispatcher, events, {work, work, work}};
        WindowOptions options;
        options.page_channel_modules = TOVIK_PAGE_CHANNEL_MODULES;
        try {
            run_window(argc, argv, host, options);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "page channel check: %s\n", e.what());
        }
    }
    std::filesystem::remove_all(work);
    return status;
}
