#include "db/db_commands.hpp"

#include "bridge/command_args.hpp"

namespace tovik {

void add_db_commands(CommandTable& table, Db& db) {
    table.add("db_open", CommandKind::immediate, [&db](const nlohmann::json&) -> nlohmann::json {
        db.open();
        return nullptr;
    });
    table.add("db_execute", CommandKind::immediate, [&db](const nlohmann::json& args) -> nlohmann::json {
        const CommandArgs decoded("db_execute", args);
        const std::string sql = decoded.required_string("sql");
        db.execute(sql, decoded.required_array("params").get_ref<const nlohmann::json::array_t&>());
        return nullptr;
    });
    table.add("db_batch", CommandKind::immediate, [&db](const nlohmann::json& args) -> nlohmann::json {
        const CommandArgs decoded("db_batch", args);
        std::vector<Db::ListedStatement> statements;
        for (const auto& item : decoded.required_array("statements")) {
            const CommandArgs statement("db_batch", item);
            statements.emplace_back(statement.required_string("sql"),
                                    statement.required_array("params").get_ref<const nlohmann::json::array_t&>());
        }
        db.execute_all(statements);
        return nullptr;
    });
    table.add_parted("db_select", [&db](const nlohmann::json& args, const PartFn& part) {
        const CommandArgs decoded("db_select", args);
        const std::string sql = decoded.required_string("sql");
        return CommandResult::from_json_text(
            db.select(sql, decoded.required_array("params").get_ref<const nlohmann::json::array_t&>(), part));
    });
}

}  // namespace tovik
