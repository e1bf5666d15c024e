#pragma once
#include <sys/socket.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tovik {

// An IPv4 or IPv6 address and a port, ready for connect().
struct IpEndpoint {
    sockaddr_storage address{};
    socklen_t length = 0;

    [[nodiscard]] const sockaddr* sockaddr_ptr() const { return reinterpret_cast<const sockaddr*>(&address); }
    [[nodiscard]] int family() const { return address.ss_family; }
};

// Parses an address literal (dotted IPv4 or IPv6, surrounding white space
// allowed); host names are never resolved.
[[nodiscard]] std::optional<IpEndpoint> parse_ip_literal(std::string_view text, std::uint16_t port);

// a.b.c.d:port, or [v6]:port.
[[nodiscard]] std::string describe_endpoint(const IpEndpoint& endpoint);

// A dotted IPv4 address in host byte order.
[[nodiscard]] std::optional<std::uint32_t> parse_ipv4(std::string_view text);

[[nodiscard]] IpEndpoint ipv4_endpoint(std::uint32_t address, std::uint16_t port);
[[nodiscard]] std::string dotted(std::uint32_t address);

// 10.0.0.0/8, 172.16.0.0/12 and 192.168.0.0/16; addresses in host byte order.
[[nodiscard]] bool is_private_ipv4(std::uint32_t address);
[[nodiscard]] bool is_loopback_ipv4(std::uint32_t address);

}  // namespace tovik
