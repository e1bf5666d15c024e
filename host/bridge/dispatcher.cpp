#include "bridge/dispatcher.hpp"

#include <memory>
#include <stdexcept>
#include <utility>

#include "bridge/json_text.hpp"

namespace tovik {

namespace {

CommandReply run_handler(const Command& command, const nlohmann::json& args, const PartFn& part = {}) {
    try {
        CommandResult result = command.handler(args, part);
        return {CommandReply::Status::ok, std::move(result.value), std::move(result.text)};
    } catch (const std::exception& e) {
        return {CommandReply::Status::failed, e.what(), std::nullopt};
    } catch (...) {
        // Whatever a handler throws, the page gets an answer and the host lives on.
        return {CommandReply::Status::failed, "the command failed", std::nullopt};
    }
}

}  // namespace

CommandResult CommandResult::from_json_text(std::string json_text) {
    CommandResult result(nullptr);
    result.text = std::move(json_text);
    return result;
}

std::string CommandReply::json_text() && { return text ? std::move(*text) : to_json_text(value); }

void CommandTable::add(const std::string& name, CommandKind kind, CommandHandler handler) {
    add_command(name, {kind, [handler = std::move(handler)](const nlohmann::json& args, const PartFn&) {
                           return handler(args);
                       }});
}

void CommandTable::add_parted(const std::string& name, PartedHandler handler) {
    add_command(name, {CommandKind::immediate, std::move(handler)});
}

void CommandTable::add_command(const std::string& name, Command command) {
    if (!commands_.emplace(name, std::move(command)).second)
        throw std::logic_error("command registered twice: " + name);
}

const Command* CommandTable::find(std::string_view name) const {
    auto it = commands_.find(name);
    return it == commands_.end() ? nullptr : &it->second;
}

std::string unknown_command_message(std::string_view name) {
    return "command " + std::string(name) + " not found";
}

Dispatcher::Dispatcher(CommandTable table, TaskPool& pool, PostToMain post_to_main)
    : table_(std::move(table)), pool_(pool), post_to_main_(std::move(post_to_main)) {}

void Dispatcher::dispatch(const std::string& name, const nlohmann::json& args, ReplyFn reply, PartFn part) {
    const Command* command = table_.find(name);
    if (!command) {
        reply({CommandReply::Status::unknown_command, unknown_command_message(name), std::nullopt});
        return;
    }
    if (command->kind == CommandKind::immediate) {
        reply(run_handler(*command, args, part));
        return;
    }
    pool_.submit([this, command, args, reply = std::move(reply)]() mutable {
        auto result = std::make_shared<CommandReply>(run_handler(*command, args));
        post_to_main_([reply = std::move(reply), result] { reply(std::move(*result)); });
    });
}

CommandReply Dispatcher::call(const std::string& name, const nlohmann::json& args) {
    const Command* command = table_.find(name);
    if (!command) return {CommandReply::Status::unknown_command, unknown_command_message(name), std::nullopt};
    CommandReply reply = run_handler(*command, args);
    if (reply.text) reply.value = nlohmann::json::parse(*std::exchange(reply.text, std::nullopt));
    return reply;
}

}  // namespace tovik
