#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "bridge/command_error.hpp"

namespace tovik {

// Decodes a command's named arguments. Every failure is a CommandError with
// the bridge's fixed texts, thrown before the command body runs.
class CommandArgs {
public:
    CommandArgs(std::string_view command, const nlohmann::json& args);

    [[nodiscard]] std::string required_string(std::string_view key) const;
    [[nodiscard]] const nlohmann::json& required_array(std::string_view key) const;
    // Absent or null gives the fallback; anything but an integer in 0..65535 is refused.
    [[nodiscard]] std::uint16_t optional_u16(std::string_view key, std::uint16_t fallback) const;

private:
    [[nodiscard]] const nlohmann::json* find(std::string_view key) const;
    [[noreturn]] void missing(std::string_view key) const;
    [[noreturn]] void invalid(std::string_view key, const std::string& reason) const;

    std::string command_;
    const nlohmann::json& args_;
};

// The JSON type name used in decoding messages ("a string", "an array", ...).
[[nodiscard]] std::string describe_json_type(const nlohmann::json& value);

}  // namespace tovik
