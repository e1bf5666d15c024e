#pragma once
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "bridge/task_pool.hpp"

namespace tovik {

enum class CommandKind { immediate, background };

// What a command resolves with: a JSON value, or the JSON text of one that the
// handler wrote itself (query results skip the value tree that way).
struct CommandResult {
    CommandResult(nlohmann::json result) : value(std::move(result)) {}  // results convert implicitly
    [[nodiscard]] static CommandResult from_json_text(std::string json_text);

    nlohmann::json value;  // null when `text` holds the result
    std::optional<std::string> text;
};

// A handler decodes its arguments (CommandArgs), does its work and returns the
// result; it fails by throwing CommandError (or any std::exception).
using CommandHandler = std::function<CommandResult(const nlohmann::json& args)>;

// A caller that can take a list result in parts hands the command this: each
// call carries the next rows as JSON array text while the command still runs,
// and the result then holds only the rows after them. The page parses one part
// while the host writes the next. A command that fails after some parts fails
// as a whole: the caller drops what it was given.
using PartFn = std::function<void(std::string rows)>;
// An empty `part` asks for the whole result at once.
using PartedHandler = std::function<CommandResult(const nlohmann::json& args, const PartFn& part)>;

struct Command {
    CommandKind kind;
    PartedHandler handler;  // a plain handler ignores `part`
};

// All commands in one table. A duplicate name is a start-up error.
class CommandTable {
public:
    void add(const std::string& name, CommandKind kind, CommandHandler handler);
    // Always immediate: its parts go to the caller's line as they are made.
    void add_parted(const std::string& name, PartedHandler handler);
    [[nodiscard]] const Command* find(std::string_view name) const;

private:
    void add_command(const std::string& name, Command command);

    std::map<std::string, Command, std::less<>> commands_;
};

struct CommandReply {
    enum class Status { ok, failed, unknown_command };
    Status status;
    // The result for ok (null when `text` holds it); a message string otherwise.
    nlohmann::json value;
    // An ok result that the handler wrote as JSON text.
    std::optional<std::string> text;

    // The result or message as JSON text; moves a prepared text out.
    [[nodiscard]] std::string json_text() &&;
};

using ReplyFn = std::function<void(CommandReply)>;
using PostToMain = std::function<void(std::function<void()>)>;

// Runs commands by name. Called on the main thread only. Immediate commands run
// inline, so they finish in arrival order; background commands go to the pool
// and their reply is posted back to the main thread. Each call replies once.
class Dispatcher {
public:
    Dispatcher(CommandTable table, TaskPool& pool, PostToMain post_to_main);

    // `part`, when given, may receive a list result's leading rows before `reply`.
    void dispatch(const std::string& name, const nlohmann::json& args, ReplyFn reply, PartFn part = {});

    // Runs one command to completion on the calling thread (tests and tools);
    // the reply always carries its result as a value.
    [[nodiscard]] CommandReply call(const std::string& name, const nlohmann::json& args);

private:
    CommandTable table_;
    TaskPool& pool_;
    PostToMain post_to_main_;
};

[[nodiscard]] std::string unknown_command_message(std::string_view name);

}  // namespace tovik
