#include "printing/tcp_printer.hpp"

#include "bridge/command_error.hpp"
#include "printing/ip_endpoint.hpp"
#include "printing/tcp_socket.hpp"

namespace tovik {

void print_tcp(std::string_view host, std::uint16_t port, std::span<const std::uint8_t> bytes,
               const TcpPrintLimits& limits) {
    const auto deadline = Clock::now() + limits.total;
    const auto endpoint = parse_ip_literal(host, port);
    if (!endpoint) throw CommandError("enter the printer's IP address, e.g. 192.168.1.50");

    auto connected = connect_within(*endpoint, limits.connect, deadline);
    if (auto* reason = std::get_if<std::string>(&connected))
        throw CommandError("cannot reach the printer at " + describe_endpoint(*endpoint) + ": " + *reason);

    const std::string failure = send_all(std::get<UniqueFd>(connected), bytes, limits.stall, deadline);
    if (!failure.empty()) throw CommandError("the printer stopped receiving: " + failure);
}

}  // namespace tovik
