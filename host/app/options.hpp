#pragma once
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tovik {

enum class SecretBackend { service, file };

// The host's command line.
struct Options {
    bool serve = false;
    std::uint16_t port = 0;
    std::string token;  // serve mode; empty: TOVIK_BRIDGE_TOKEN or a random one
    std::optional<std::filesystem::path> data_dir;
    std::optional<std::filesystem::path> documents_dir;
    std::optional<std::filesystem::path> downloads_dir;
    SecretBackend secret_backend = SecretBackend::service;
    bool exit_after_invoke = false;
    bool help = false;
};

// Throws std::invalid_argument with a message for the user on bad input.
[[nodiscard]] Options parse_options(const std::vector<std::string>& args);

[[nodiscard]] std::string usage_text();

}  // namespace tovik
