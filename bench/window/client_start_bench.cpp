// Cold start of the real client in the real window: from process start to an
// interactive sign-in screen, or, with a stored session, to the working shell.
// A page script watches for the screen and reports through bench_ready.
//   bench_client_start signin|session
#include <chrono>
#include <cstdio>
#include <string>

#include <gtk/gtk.h>

#include "bench_window.hpp"
#include "db/database.hpp"
#include "db/db_commands.hpp"
#include "platform/host_context.hpp"
#include "platform/main_loop.hpp"
#include "secrets/secret_commands.hpp"
#include "secrets/secret_store.hpp"

namespace {

const auto started = std::chrono::steady_clock::now();

// Reports once the wanted screen is there and its first control can take input.
std::string watcher(const std::string& testid) {
    return R"js(
(() => {
  const ready = () => {
    const element = document.querySelector('[data-testid=")js" +
           testid + R"js("]');
    if (!element) return false;
    requestAnimationFrame(() =>
      window.webkit.messageHandlers.tovik.postMessage({ cmd: 'bench_ready', args: {} }));
    return true;
  };
  const start = () => {
    if (ready()) return;
    const observer = new MutationObserver(() => { if (ready()) observer.disconnect(); });
    observer.observe(document.documentElement, { childList: true, subtree: true });
  };
  if (document.readyState === 'loading') document.addEventListener('DOMContentLoaded', start);
  else start();
})();
)js";
}

}  // namespace

int main(int argc, char** argv) {
    using namespace tovik;
    const std::string mode = argc > 1 ? argv[1] : "signin";
    const bool session = mode == "session";
    const bench::ScratchFolder work("tovik-start-bench-");
    int status = 1;
    {
        auto secrets = make_file_secret_store(work.path() / "secrets.json");
        Db db(work.path(), *secrets);
        if (session) {
            // What a signed-in client leaves behind; the server address is a closed
            // loopback port, so the profile refresh fails at once and the stored profile stays.
            db.open();
            db.execute("CREATE TABLE IF NOT EXISTS meta (key TEXT PRIMARY KEY, value TEXT)", {});
            db.execute("INSERT OR REPLACE INTO meta (key, value) VALUES ('profile', ?), ('server_url', ?)",
                       {R"({"name":"Bench Owner","role":"owner","abilities":["sync"],"features":{}})",
                        "http://127.0.0.1:1"});
            secrets->set("token", "bench-token");
        }
        CommandTable table;
        add_db_commands(table, db);
        add_secret_commands(table, *secrets);
        table.add("bench_ready", CommandKind::immediate, [&status](const nlohmann::json&) {
            const double ms =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
            std::printf("%.0f\n", ms);
            std::fflush(stdout);
            status = 0;
            post_to_main([] { gtk_main_quit(); });
            return nlohmann::json();
        });
        WindowOptions options;
        options.extra_page_script = watcher(session ? "top-bar" : "login");
        bench::run_bench_window(argc, argv, std::move(table), work.path(), options, "client start");
    }
    return status;
}
