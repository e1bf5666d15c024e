#include "secrets/secret_commands.hpp"

#include "bridge/command_args.hpp"

namespace tovik {

void add_secret_commands(CommandTable& table, SecretStore& store) {
    table.add("secret_get", CommandKind::immediate, [&store](const nlohmann::json& args) -> nlohmann::json {
        const CommandArgs decoded("secret_get", args);
        auto value = store.get(decoded.required_string("key"));
        if (!value) return nullptr;
        return std::move(*value);
    });
    table.add("secret_set", CommandKind::immediate, [&store](const nlohmann::json& args) -> nlohmann::json {
        const CommandArgs decoded("secret_set", args);
        const std::string key = decoded.required_string("key");
        store.set(key, decoded.required_string("value"));
        return nullptr;
    });
    table.add("secret_delete", CommandKind::immediate, [&store](const nlohmann::json& args) -> nlohmann::json {
        const CommandArgs decoded("secret_delete", args);
        store.remove(decoded.required_string("key"));
        return nullptr;
    });
}

}  // namespace tovik
