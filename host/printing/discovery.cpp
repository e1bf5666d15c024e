#include "printing/discovery.hpp"

#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <mutex>
#include <thread>

#include "bridge/command_error.hpp"
#include "platform/unique_fd.hpp"
#include "printing/ip_endpoint.hpp"
#include "printing/tcp_socket.hpp"

namespace tovik {

namespace {

constexpr std::uint32_t kFirstHost = 1;
constexpr std::uint32_t kLastHost = 254;
constexpr std::uint32_t kSliceSize = 16;

}  // namespace

std::optional<std::uint32_t> outward_ipv4_address() {
    UniqueFd probe(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!probe) return std::nullopt;
    // A documentation address: connect() on UDP only picks a route, nothing is sent.
    const IpEndpoint documentation = ipv4_endpoint(0xC0000201u /* 192.0.2.1 */, 9);
    if (::connect(probe.get(), documentation.sockaddr_ptr(), documentation.length) != 0) return std::nullopt;
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (::getsockname(probe.get(), reinterpret_cast<sockaddr*>(&local), &length) != 0 || local.sin_family != AF_INET)
        return std::nullopt;
    return ntohl(local.sin_addr.s_addr);
}

std::uint32_t discovery_base(std::optional<std::uint32_t> injected, std::optional<std::uint32_t> outward) {
    if (injected) return *injected & 0xFFFFFF00u;
    if (!outward || !is_private_ipv4(*outward)) throw CommandError("this computer is not on a private network");
    return *outward & 0xFFFFFF00u;
}

std::vector<std::string> scan_subnet(std::uint32_t base, std::uint16_t port, std::chrono::milliseconds timeout) {
    std::mutex found_lock;
    std::vector<std::uint32_t> found;
    {
        std::vector<std::jthread> workers;
        for (std::uint32_t first = kFirstHost; first <= kLastHost; first += kSliceSize) {
            const std::uint32_t last = std::min(first + kSliceSize - 1, kLastHost);
            workers.emplace_back([&, first, last] {
                for (std::uint32_t host = first; host <= last; ++host) {
                    const std::uint32_t address = base | host;
                    auto connected = connect_within(ipv4_endpoint(address, port), timeout, Clock::now() + timeout);
                    if (!std::holds_alternative<UniqueFd>(connected)) continue;
                    const std::lock_guard guard(found_lock);
                    found.push_back(address);
                }
            });
        }
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> addresses;
    addresses.reserve(found.size());
    for (const std::uint32_t address : found) addresses.push_back(dotted(address));
    return addresses;
}

}  // namespace tovik
