#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tovik {

// The system's print spooler (Linux: CUPS, reached as libcups is configured,
// e.g. through CUPS_SERVER). Not thread-safe: the print worker is its only caller.

// Installed printer names in the spooler's order.
[[nodiscard]] std::vector<std::string> list_spooler_printers();

// Hands the bytes to the named printer as one raw job, unchanged. A printer
// that is paused or refusing jobs is reported as a failure, since the job
// would otherwise sit in the queue while the till says it printed.
void print_raw_job(const std::string& printer, std::span<const std::uint8_t> bytes);

}  // namespace tovik
