// The in-window bridge under load: the real window host with a page of its own
// that times 10,000 sequential db_select calls and one ~3 MB result, then
// hands its figures to the bench_report command, which prints them and quits.
#include <cstdio>
#include <filesystem>
#include <string>

#include <gtk/gtk.h>

#include "bridge/dispatcher.hpp"
#include "bridge/host_events.hpp"
#include "app/serve_gate.hpp"
#include "db/database.hpp"
#include "db/db_commands.hpp"
#include "platform/host_context.hpp"
#include "platform/main_loop.hpp"
#include "secrets/secret_store.hpp"

int main(int argc, char** argv) {
    using namespace tovik;
    namespace fs = std::filesystem;
    const fs::path work = fs::temp_directory_path() / ("tovik-window-bench-" + random_bridge_token());
    fs::create_directories(work);
    int status = 1;
    {
        auto secrets = make_file_secret_store(work / "secrets.json");
        Db db(work, *secrets);
        CommandTable table;
        add_db_commands(table, db);
        table.add("bench_nothing", CommandKind::immediate, [](const nlohmann::json&) { return nlohmann::json(); });
        table.add("bench_report", CommandKind::immediate, [&status](const nlohmann::json& report) {
            const auto& r = report.value("roundtrip", nlohmann::json::object());
            const auto& l = report.value("large", nlohmann::json::object());
            if (report.contains("error")) {
                std::printf("window bridge: failed: %s\n", report["error"].get<std::string>().c_str());
            } else {
                std::printf("window bridge: %d x db_select \"SELECT 1\": per call (batches of 100) median %.0f us, "
                            "p99 %.0f us; %.0f calls/s; the web view's bare message round trip %.0f us\n",
                            r.value("calls", 0), r.value("median_us", 0.0), r.value("p99_us", 0.0),
                            r.value("calls_per_second", 0.0), r.value("floor_median_us", 0.0));
                std::printf("window bridge: one db_select of %d rows (%.2f MB JSON) to the page: first %.1f ms, "
                            "median of 7 %.1f ms (reply arrives %.1f, parse %.1f), best %.1f ms\n",
                            l.value("rows", 0), l.value("json_bytes", 0) / 1e6, l.value("first_ms", 0.0),
                            l.value("median_ms", 0.0), l.value("arrival_ms", 0.0), l.value("parse_ms", 0.0),
                            l.value("best_ms", 0.0));
                status = 0;
            }
            std::fflush(stdout);
            post_to_main([] { gtk_main_quit(); });
            return nlohmann::json();
        });
        TaskPool pool(1);
        Dispatcher dispatcher(std::move(table), pool, post_to_main);
        HostEvents events(post_to_main);
        HostContext host{dispatcher, events, {work, work, work}};
        try {
            run_window(argc, argv, host, {});
        } catch (const std::exception& e) {
            std::fprintf(stderr, "window bridge: %s\n", e.what());
        }
    }
    fs::remove_all(work);
    return status;
}
