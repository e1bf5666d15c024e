// The page channel in the real window. A page that reloads while its call is
// out must not get that call's answer in its next load, where the same call id
// means another call. A list in parts reaches a page that takes parts whole,
// and is refused to one that does not. Prints what the second load saw.
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
        table.add_parted("check_rows", [](const nlohmann::json&, const PartFn& part) {
            if (!part) return CommandResult::from_json_text("[1,2,3,4]");
            part("[1,2]");
            part("[3]");
            return CommandResult::from_json_text("[4]");
        });
        table.add("check_report", CommandKind::immediate, [&status](const nlohmann::json& args) {
            const std::string text = args.value("text", std::string());
            std::printf("second load saw: %s\n", text.c_str());
            std::fflush(stdout);
            status = text == R"(1 {"ok":true,"value":"the second load"} | part 3 [1,2] | part 3 [3] | )"
                             R"(3 {"ok":true,"value":[4]} | )"
                             R"(4 {"ok":false,"error":"the page cannot take a result in parts"})"
                         ? 0
                         : 1;
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
