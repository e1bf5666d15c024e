#include "printing/ip_endpoint.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>

namespace tovik {

std::optional<IpEndpoint> parse_ip_literal(std::string_view text, std::uint16_t port) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    const std::string literal(text);
    IpEndpoint endpoint;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&endpoint.address);
    if (inet_pton(AF_INET, literal.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(port);
        endpoint.length = sizeof(sockaddr_in);
        return endpoint;
    }
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&endpoint.address);
    if (inet_pton(AF_INET6, literal.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(port);
        endpoint.length = sizeof(sockaddr_in6);
        return endpoint;
    }
    return std::nullopt;
}

std::string describe_endpoint(const IpEndpoint& endpoint) {
    char text[INET6_ADDRSTRLEN] = {};
    if (endpoint.family() == AF_INET) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(&endpoint.address);
        inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
        return std::string(text) + ":" + std::to_string(ntohs(v4->sin_port));
    }
    const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&endpoint.address);
    inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
    return "[" + std::string(text) + "]:" + std::to_string(ntohs(v6->sin6_port));
}

std::optional<std::uint32_t> parse_ipv4(std::string_view text) {
    in_addr address{};
    if (inet_pton(AF_INET, std::string(text).c_str(), &address) != 1) return std::nullopt;
    return ntohl(address.s_addr);
}

IpEndpoint ipv4_endpoint(std::uint32_t address, std::uint16_t port) {
    IpEndpoint endpoint;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&endpoint.address);
    v4->sin_family = AF_INET;
    v4->sin_port = htons(port);
    v4->sin_addr.s_addr = htonl(address);
    endpoint.length = sizeof(sockaddr_in);
    return endpoint;
}

std::string dotted(std::uint32_t address) {
    return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xFF) + "." +
           std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF);
}

bool is_private_ipv4(std::uint32_t address) {
    const std::uint32_t first = address >> 24;
    const std::uint32_t second = (address >> 16) & 0xFF;
    return first == 10 || (first == 172 && second >= 16 && second <= 31) || (first == 192 && second == 168);
}

bool is_loopback_ipv4(std::uint32_t address) { return address >> 24 == 127; }

}  // namespace tovik
