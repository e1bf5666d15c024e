#pragma once
#include <cstdint>
#include <optional>

#include "bridge/dispatcher.hpp"
#include "printing/print_worker.hpp"
#include "printing/tcp_printer.hpp"

namespace tovik {

struct PrinterOptions {
    // Tests only: scan this loopback /24 instead of the computer's own network.
    std::optional<std::uint32_t> discovery_base;
    TcpPrintLimits tcp;
};

// Reads TOVIK_DISCOVERY_BASE (a 127.x.y.z address, for tests); anything
// outside loopback is refused so that no test can be pointed at a real network.
[[nodiscard]] PrinterOptions printer_options_from_environment();

// Registers printer_list, printer_print_raw, printer_print_tcp and
// printer_discover. All are background commands; the first three run one at a
// time on `worker`, which must outlive the table.
void add_printer_commands(CommandTable& table, PrintWorker& worker, PrinterOptions options = {});

}  // namespace tovik
