#include "bridge/command_args.hpp"


namespace tovik {

namespace {
const nlohmann::json kNull;
}

CommandArgs::CommandArgs(std::string_view command, const nlohmann::json& args)
    : command_(command), args_(args.is_object() ? args : kNull) {}

const nlohmann::json* CommandArgs::find(std::string_view key) const {
    if (!args_.is_object()) return nullptr;
    auto it = args_.find(std::string(key));
    if (it == args_.end() || it->is_null()) return nullptr;
    return &*it;
}

void CommandArgs::missing(std::string_view key) const {
    throw CommandError("command " + command_ + " missing required key " + std::string(key));
}

void CommandArgs::invalid(std::string_view key, const std::string& reason) const {
    throw CommandError("invalid args `" + std::string(key) + "` for command `" + command_ + "`: " + reason);
}

std::string CommandArgs::required_string(std::string_view key) const {
    const auto* value = find(key);
    if (!value) missing(key);
    if (!value->is_string()) invalid(key, "invalid type: " + describe_json_type(*value) + ", expected a string");
    return value->get<std::string>();
}

const nlohmann::json& CommandArgs::required_array(std::string_view key) const {
    const auto* value = find(key);
    if (!value) missing(key);
    if (!value->is_array()) invalid(key, "invalid type: " + describe_json_type(*value) + ", expected an array");
    return *value;
}

std::uint16_t CommandArgs::optional_u16(std::string_view key, std::uint16_t fallback) const {
    const auto* value = find(key);
    if (!value) return fallback;
    if (value->is_number_unsigned() && value->get<std::uint64_t>() <= 65535)
        return static_cast<std::uint16_t>(value->get<std::uint64_t>());
    if (value->is_number_integer() && !value->is_number_unsigned() && value->get<std::int64_t>() >= 0 &&
        value->get<std::int64_t>() <= 65535)
        return static_cast<std::uint16_t>(value->get<std::int64_t>());
    if (value->is_number_integer())
        invalid(key, "invalid value: integer `" + value->dump() + "`, expected an integer from 0 to 65535");
    invalid(key, "invalid type: " + describe_json_type(*value) + ", expected an integer from 0 to 65535");
}

std::string describe_json_type(const nlohmann::json& value) {
    switch (value.type()) {
        case nlohmann::json::value_t::null: return "null";
        case nlohmann::json::value_t::boolean: return std::string("boolean `") + (value.get<bool>() ? "true" : "false") + "`";
        case nlohmann::json::value_t::number_integer:
        case nlohmann::json::value_t::number_unsigned: return "integer `" + value.dump() + "`";
        case nlohmann::json::value_t::number_float: return "floating point `" + value.dump() + "`";
        case nlohmann::json::value_t::string: return "a string";
        case nlohmann::json::value_t::array: return "an array";
        case nlohmann::json::value_t::object: return "an object";
        default: return "an unsupported value";
    }
}

}  // namespace tovik
