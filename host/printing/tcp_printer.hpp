#pragma once
#include <chrono>
#include <cstdint>
#include <span>
#include <string_view>

namespace tovik {

struct TcpPrintLimits {
    std::chrono::milliseconds connect{4000};
    // How long one write may wait for a printer that has stopped taking bytes.
    std::chrono::milliseconds stall{10000};
    // The whole job, however slowly the printer keeps taking bytes.
    std::chrono::milliseconds total{30000};
};

// Sends the bytes to a raw printer port (no name resolution) and closes the
// connection; nothing is read back. Fails with CommandError and the texts the
// page shows.
void print_tcp(std::string_view host, std::uint16_t port, std::span<const std::uint8_t> bytes,
               const TcpPrintLimits& limits = {});

}  // namespace tovik
