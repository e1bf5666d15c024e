#include "secrets/secret_commands.hpp"

#include "bridge/command_args.hpp"

namespace tovik {

namespace {

// The key never leaves the host, and the page may not replace or delete it:
// either would leave the database unreadable.
std::string page_secret_name(const CommandArgs& decoded) {
    std::string name = decoded.required_string("key");
    if (name == kDatabaseKeySecret)
        throw CommandError(std::string(kDatabaseKeySecret) + " is kept by the host and is not available to the page");
    return name;
}

}  // namespace

void add_secret_commands(CommandTable& table, SecretStore& store) {
    table.add("secret_get", CommandKind::immediate, [&store](const nlohmann::json& args) -> nlohmann::json {
        const CommandArgs decoded("secret_get", args);
        auto value = store.get(page_secret_name(decoded));
        if (!value) return nullptr;
        return std::move(*value);
    });
    table.add("secret_set", CommandKind::immediate, [&store](const nlohmann::json& args) -> nlohmann::json {
        const CommandArgs decoded("secret_set", args);
        const std::string key = page_secret_name(decoded);
        store.set(key, decoded.required_string("value"));
        return nullptr;
    });
    table.add("secret_delete", CommandKind::immediate, [&store](const nlohmann::json& args) -> nlohmann::json {
        const CommandArgs decoded("secret_delete", args);
        store.remove(page_secret_name(decoded));
        return nullptr;
    });
}

}  // namespace tovik
