// The in-window bridge under load: the real window host with a page of its own
// that times 10,000 sequential db_select calls and one ~3 MB result, then
// hands its figures to the bench_report command, which prints them and quits.
#include <cstdio>
#include <string>

#include <gtk/gtk.h>

#include "bench_window.hpp"
#include "db/database.hpp"
#include "db/db_commands.hpp"
#include "platform/main_loop.hpp"
#include "secrets/secret_store.hpp"

int main(int argc, char** argv) {
    using namespace tovik;
    const bench::ScratchFolder work("tovik-window-bench-");
    int status = 1;
    {
        auto secrets = make_file_secret_store(work.path() / "secrets.json");
        Db db(work.path(), *secrets);
        CommandTable table;
        add_db_commands(table, db);
        table.add("bench_nothing", CommandKind::immediate, [](const nlohmann::json&) { return nlohmann::json(); });
        table.add("bench_report", CommandKind::immediate, [&status](const nlohmann::json& report) {
            const auto& r = report.value("roundtrip", nlohmann::json::object());
            const auto& l = report.value("large", nlohmann::json::object());
            if (report.contains("error")) {
                std::printf("window bridge: failed: %s\n", report["error"].get<std::string>().c_str());
            } else {
                const char* way = report.value("channel", false) ? "the page channel" : "script messages";
                std::printf("window bridge: %d x db_select \"SELECT 1\" over %s: per call (batches of 100) median "
                            "%.0f us, p99 %.0f us; %.0f calls/s; over script messages %.0f us, their bare message "
                            "round trip %.0f us\n",
                            r.value("calls", 0), way, r.value("median_us", 0.0), r.value("p99_us", 0.0),
                            r.value("per_second", 0.0), r.value("messages_median_us", 0.0),
                            r.value("floor_median_us", 0.0));
                std::printf("window bridge: one db_select of %d rows (%.2f MB JSON) to the page over %s: first "
                            "%.1f ms, median of 7 %.1f ms (%d parts parsed as they come; the reply arrives after "
                            "%.1f, its parse and the join %.1f), best %.1f ms; over script messages median %.1f ms\n",
                            l.value("rows", 0), l.value("json_bytes", 0) / 1e6, way, l.value("first_ms", 0.0),
                            l.value("median_ms", 0.0), l.value("parts", 0), l.value("arrival_ms", 0.0),
                            l.value("parse_ms", 0.0), l.value("best_ms", 0.0), l.value("messages_median_ms", 0.0));
                status = 0;
            }
            std::fflush(stdout);
            post_to_main([] { gtk_main_quit(); });
            return nlohmann::json();
        });
        bench::run_bench_window(argc, argv, std::move(table), work.path(), {}, "window bridge");
    }
    return status;
}
