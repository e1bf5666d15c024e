#pragma once
#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <variant>

#include "platform/unique_fd.hpp"
#include "printing/ip_endpoint.hpp"

namespace tovik {

using Clock = std::chrono::steady_clock;

// A non-blocking connect that gives up after `timeout` (or at `deadline`,
// whichever comes first). The failure is the system's reason as text.
[[nodiscard]] std::variant<UniqueFd, std::string> connect_within(const IpEndpoint& endpoint,
                                                                  std::chrono::milliseconds timeout,
                                                                  Clock::time_point deadline);

// Writes every byte, resuming after partial writes. Each wait for the socket
// to take more is limited by `stall_timeout`, the whole by `deadline`.
// Returns an empty string on success, else the reason.
[[nodiscard]] std::string send_all(const UniqueFd& socket, std::span<const std::uint8_t> bytes,
                                   std::chrono::milliseconds stall_timeout, Clock::time_point deadline);

}  // namespace tovik
