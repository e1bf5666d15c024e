// The desktop host: one window whose web view runs the client, and the command
// bridge to the encrypted database and the credential store. With --serve, the
// same bridge over HTTP on loopback instead of a window.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "bridge/dispatcher.hpp"
#include "bridge/host_events.hpp"
#include "app/identity.hpp"
#include "app/options.hpp"
#include "app/serve_gate.hpp"
#include "db/database.hpp"
#include "db/db_commands.hpp"
#include "platform/host_context.hpp"
#include "platform/main_loop.hpp"
#include "platform/known_folders.hpp"
#include "platform/single_instance.hpp"
#include "printing/printer_commands.hpp"
#include "secrets/secret_commands.hpp"
#include "secrets/secret_store.hpp"

namespace {

using namespace tovik;

KnownFolders resolve_folders(const Options& options) {
    KnownFolders folders = system_known_folders();
    if (options.data_dir) folders.data = *options.data_dir;
    if (options.documents_dir) folders.documents = *options.documents_dir;
    if (options.downloads_dir) folders.downloads = *options.downloads_dir;
    return folders;
}

std::unique_ptr<SecretStore> open_secret_store(const Options& options, const KnownFolders& folders) {
    if (options.secret_backend == SecretBackend::service) return make_service_secret_store();
    std::fprintf(stderr,
                 "tovik: warning: secrets are kept in a plain file (%s); for development and tests only\n",
                 (folders.data / "secrets.json").c_str());
    return make_file_secret_store(folders.data / "secrets.json");
}

std::string bridge_token(const Options& options) {
    if (!options.token.empty()) return options.token;
    if (const char* fixed = std::getenv("TOVIK_BRIDGE_TOKEN"); fixed && *fixed) return fixed;
    return random_bridge_token();
}

int run(int& argc, char**& argv) {
    const Options options = parse_options(std::vector<std::string>(argv + 1, argv + argc));
    if (options.help) {
        std::fputs(usage_text().c_str(), stdout);
        return 0;
    }

    // 1. One instance per user. Serve mode is a headless tool and may run beside the window.
    std::unique_ptr<SingleInstance> instance;
    if (!options.serve) {
        instance = SingleInstance::acquire(runtime_folder(), std::vector<std::string>(argv, argv + argc));
        if (!instance) return 0;  // the running instance has been told to come to the front
    }

    // 2.-4. The integrations are installed with the window; then the empty Db and the dispatcher.
    const KnownFolders folders = resolve_folders(options);
    auto secrets = open_secret_store(options, folders);
    Db db(folders.data, *secrets);
    CommandTable table;
    add_db_commands(table, db);
    add_secret_commands(table, *secrets);
    PrintWorker print_worker;
    add_printer_commands(table, print_worker, printer_options_from_environment());
    TaskPool pool(2);
    Dispatcher dispatcher(std::move(table), pool, post_to_main);
    HostEvents events(post_to_main);
    HostContext host{dispatcher, events, folders};

    if (options.serve) return run_serve(host, {options.port, bridge_token(options)});

    // 5.-6. The main window and the event loop.
    try {
        WindowOptions window;
        window.instance = instance.get();
        window.exit_after_invoke = options.exit_after_invoke;
        return run_window(argc, argv, host, window);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tovik: %s\n", e.what());
        std::fprintf(stderr, "%s\n", identity::kRunFailure);
        return 1;
    }
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::invalid_argument& e) {
        std::fprintf(stderr, "tovik: %s\n%s", e.what(), usage_text().c_str());
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tovik: %s\n", e.what());
        return 1;
    }
}
