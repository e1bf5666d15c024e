#pragma once
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tovik {

// This computer's IPv4 address on the network that leads outside, found
// without sending anything (a UDP socket's local address after connect).
[[nodiscard]] std::optional<std::uint32_t> outward_ipv4_address();

// The a.b.c.0 base of the /24 to scan: the injected base when there is one
// (tests), else the outward address, which must be private. Fails with
// "this computer is not on a private network".
[[nodiscard]] std::uint32_t discovery_base(std::optional<std::uint32_t> injected,
                                           std::optional<std::uint32_t> outward);

// Tries a.b.c.1 to a.b.c.254 on `port` with 16 workers, each connect limited
// to `timeout`; returns the addresses that accepted, in numeric order.
[[nodiscard]] std::vector<std::string> scan_subnet(std::uint32_t base, std::uint16_t port,
                                                   std::chrono::milliseconds timeout = std::chrono::milliseconds(300));

}  // namespace tovik
