#include "printing/printer_commands.hpp"

#include <cstdlib>
#include <stdexcept>
#include <string>

#include "bridge/command_args.hpp"
#include "printing/discovery.hpp"
#include "printing/ip_endpoint.hpp"
#include "printing/print_data.hpp"
#include "printing/spooler.hpp"

namespace tovik {

namespace {

constexpr std::uint16_t kRawPrinterPort = 9100;

}  // namespace

PrinterOptions printer_options_from_environment() {
    PrinterOptions options;
    const char* base = std::getenv("TOVIK_DISCOVERY_BASE");
    if (!base || !*base) return options;
    const auto address = parse_ipv4(base);
    if (!address || !is_loopback_ipv4(*address))
        throw std::invalid_argument("TOVIK_DISCOVERY_BASE must be a loopback address (127.x.y.z)");
    options.discovery_base = address;
    return options;
}

void add_printer_commands(CommandTable& table, PrintWorker& worker, PrinterOptions options) {
    table.add("printer_list", CommandKind::background, [&worker](const nlohmann::json&) -> nlohmann::json {
        return worker.run([] { return list_spooler_printers(); });
    });
    table.add("printer_print_raw", CommandKind::background, [&worker](const nlohmann::json& args) -> nlohmann::json {
        const CommandArgs decoded("printer_print_raw", args);
        const std::string printer = decoded.required_string("printer");
        const auto bytes = decode_print_data(decoded.required_string("data"));
        worker.run([&] { print_raw_job(printer, bytes); });
        return nullptr;
    });
    table.add("printer_print_tcp", CommandKind::background,
              [&worker, limits = options.tcp](const nlohmann::json& args) -> nlohmann::json {
                  const CommandArgs decoded("printer_print_tcp", args);
                  const std::string host = decoded.required_string("host");
                  const std::uint16_t port = decoded.optional_u16("port", kRawPrinterPort);
                  const auto bytes = decode_print_data(decoded.required_string("data"));
                  worker.run([&] { print_tcp(host, port, bytes, limits); });
                  return nullptr;
              });
    table.add("printer_discover", CommandKind::background,
              [injected = options.discovery_base](const nlohmann::json& args) -> nlohmann::json {
                  const CommandArgs decoded("printer_discover", args);
                  const std::uint16_t port = decoded.optional_u16("port", kRawPrinterPort);
                  const std::uint32_t base =
                      discovery_base(injected, injected ? std::nullopt : outward_ipv4_address());
                  return scan_subnet(base, port);
              });
}

}  // namespace tovik
