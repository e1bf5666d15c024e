// The client's own work in the real window, against a reference server on
// loopback. The page comes from TOVIK_BENCH_PAGE_DIR.
//   bench_window_client session SERVER_URL TOKEN
//     the real client with a signed-in session: waits for its first sync,
//     lets it settle, then prints the memory of every process in the tree;
//   bench_window_client facade SERVER_URL TOKEN RECORDS OPS
//     a page built from the client's storage and sync modules: round trips,
//     transactions, a large result, a first pull and a push through the
//     facade; the page sends its lines to bench_report;
//   bench_window_client page
//     any page that sends its own figures to bench_report.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include <gtk/gtk.h>

#include "bench_window.hpp"
#include "bridge/json_text.hpp"
#include "db/database.hpp"
#include "db/db_commands.hpp"
#include "platform/host_context.hpp"
#include "platform/main_loop.hpp"
#include "process_memory.hpp"
#include "secrets/secret_commands.hpp"
#include "secrets/secret_store.hpp"

namespace {

using namespace tovik;
using Clock = std::chrono::steady_clock;

constexpr auto kSettle = std::chrono::seconds(8);
constexpr auto kSyncLimit = std::chrono::minutes(15);

void quit() {
    post_to_main([] { gtk_main_quit(); });
}

// Polls the database for the end of the first sync, then waits for the page
// to settle and reads the memory of the process tree.
struct SessionWatch {
    Db& db;
    Clock::time_point started = Clock::now();
    Clock::time_point synced{};
    int status = 1;

    bool tick() {
        const auto now = Clock::now();
        if (synced == Clock::time_point{}) {
            if (now - started > kSyncLimit) {
                std::printf("window session: no first sync within the limit\n");
                quit();
                return false;
            }
            if (!first_sync_done()) return true;
            synced = now;
            std::printf("window session: signed in, first sync done after %.1f s\n",
                        std::chrono::duration<double>(synced - started).count());
            return true;
        }
        if (now - synced < kSettle) return true;
        std::printf("window session: memory %.0f s after the first sync\n%s",
                    std::chrono::duration<double>(kSettle).count(),
                    bench::describe_memory(bench::process_tree_memory()).c_str());
        std::fflush(stdout);
        status = 0;
        quit();
        return false;
    }

    bool first_sync_done() {
        try {
            return db.select("SELECT value FROM meta WHERE key = 'last_sync_at'", {}) != "[]";
        } catch (const DbError&) {
            return false;  // not open or not migrated yet
        }
    }
};

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode != "page" && argc < 4) {
        std::fprintf(stderr, "usage: bench_window_client session|facade SERVER_URL TOKEN [RECORDS OPS PRODUCTS] | page\n");
        return 2;
    }
    const std::string server_url = argc > 2 ? argv[2] : "";
    const std::string token = argc > 3 ? argv[3] : "";
    const bench::ScratchFolder work("tovik-window-client-");
    int status = 1;
    {
        auto secrets = make_file_secret_store(work.path() / "secrets.json");
        Db db(work.path(), *secrets);
        CommandTable table;
        add_db_commands(table, db);
        add_secret_commands(table, *secrets);
        table.add("bench_report", CommandKind::immediate, [&status](const nlohmann::json& report) {
            for (const auto& line : report.value("lines", nlohmann::json::array()))
                std::printf("%s\n", line.get<std::string>().c_str());
            if (report.contains("error")) std::printf("window facade: failed: %s\n", report["error"].dump().c_str());
            else status = 0;
            std::fflush(stdout);
            quit();
            return nlohmann::json();
        });
        WindowOptions options;
        SessionWatch watch{db};
        if (mode == "session") {
            // What signing in leaves behind; the client refreshes the profile and syncs at start.
            db.open();
            db.execute("CREATE TABLE IF NOT EXISTS meta (key TEXT PRIMARY KEY, value TEXT)", {});
            db.execute("INSERT OR REPLACE INTO meta (key, value) VALUES ('profile', ?), ('server_url', ?)",
                       {R"({"name":"Demo Owner","role":"owner","abilities":["sync"],"features":{}})", server_url});
            secrets->set("token", token);
            g_timeout_add(
                250, +[](gpointer data) -> gboolean { return static_cast<SessionWatch*>(data)->tick(); }, &watch);
        } else if (mode == "facade") {
            const nlohmann::json config = {{"serverUrl", server_url},
                                           {"token", token},
                                           {"records", argc > 4 ? std::atoi(argv[4]) : 50000},
                                           {"ops", argc > 5 ? std::atoi(argv[5]) : 10000},
                                           {"products", argc > 6 ? std::atoi(argv[6]) : 100000}};
            options.extra_page_script = "window.__benchConfig = " + to_json_text(config) + ";";
        }
        bench::run_bench_window(argc, argv, std::move(table), work.path(), options, "window client");
        if (mode == "session") status = watch.status;
    }
    return status;
}
