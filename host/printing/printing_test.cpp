#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "bridge/command_error.hpp"
#include "platform/unique_fd.hpp"
#include "printing/discovery.hpp"
#include "printing/ip_endpoint.hpp"
#include "printing/print_data.hpp"
#include "printing/print_worker.hpp"
#include "printing/printer_commands.hpp"
#include "printing/tcp_printer.hpp"

namespace tovik {
namespace {

using namespace std::chrono_literals;

std::string base64(const std::vector<std::uint8_t>& bytes) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    std::size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const std::uint32_t n = bytes[i] << 16 | bytes[i + 1] << 8 | bytes[i + 2];
        for (int shift : {18, 12, 6, 0}) out += kAlphabet[(n >> shift) & 63];
    }
    if (i + 1 == bytes.size()) {
        const std::uint32_t n = bytes[i] << 16;
        out += {kAlphabet[n >> 18 & 63], kAlphabet[n >> 12 & 63], '=', '='};
    } else if (i + 2 == bytes.size()) {
        const std::uint32_t n = bytes[i] << 16 | bytes[i + 1] << 8;
        out += {kAlphabet[n >> 18 & 63], kAlphabet[n >> 12 & 63], kAlphabet[n >> 6 & 63], '='};
    }
    return out;
}

std::string error_of(auto&& action) {
    try {
        action();
    } catch (const CommandError& e) {
        return e.what();
    }
    return "(no error)";
}

std::uint32_t v4(const char* text) { return parse_ipv4(text).value(); }

// A listening socket on a loopback address; port 0 picks a free one.
UniqueFd listen_on(const char* address, std::uint16_t port, int backlog = 16) {
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const int yes = 1;
    ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    const IpEndpoint endpoint = ipv4_endpoint(v4(address), port);
    EXPECT_EQ(::bind(fd.get(), endpoint.sockaddr_ptr(), endpoint.length), 0) << address;
    EXPECT_EQ(::listen(fd.get(), backlog), 0);
    return fd;
}

std::uint16_t port_of(const UniqueFd& fd) {
    sockaddr_in local{};
    socklen_t length = sizeof local;
    ::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&local), &length);
    return ntohs(local.sin_port);
}

// A free loopback port with nothing listening on it.
std::uint16_t closed_port() { return port_of(listen_on("127.0.0.1", 0)); }

std::vector<std::uint8_t> pattern(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 131 + i / 7);
    return bytes;
}

TEST(PrintData, DecodesCanonicalBase64AndRefusesTheRest) {
    EXPECT_EQ(decode_print_data("  G0A=\n"), (std::vector<std::uint8_t>{0x1B, 0x40}));
    const auto big = pattern(kMaxPrintJobBytes);
    EXPECT_EQ(decode_print_data(base64(big)), big);

    const struct {
        const char* input;
        const char* message;
    } refused[] = {
        {"", "print job is empty or too large"},
        {"   \t\n", "print job is empty or too large"},
        {"G0A", "bad print data: the length 3 is not a multiple of 4"},
        {"G0*=", "bad print data: invalid character at offset 2"},
        {"G0B=", "bad print data: non-canonical padding"},
        {"G0A=G0A=", "bad print data: invalid character at offset 3"},
    };
    for (const auto& c : refused) EXPECT_EQ(error_of([&] { (void)decode_print_data(c.input); }), c.message) << c.input;
    EXPECT_EQ(error_of([&] { (void)decode_print_data(base64(pattern(kMaxPrintJobBytes + 1))); }),
              "print job is empty or too large");
}

TEST(IpEndpoint, ParsesLiteralsOnlyAndFormatsBothFamilies) {
    const struct {
        const char* host;
        const char* described;  // nullptr: refused
    } cases[] = {
        {"192.168.1.50", "192.168.1.50:9100"},
        {"  10.0.0.7\t", "10.0.0.7:9100"},
        {"::1", "[::1]:9100"},
        {"fe80::1", "[fe80::1]:9100"},
        {"printer.local", nullptr},
        {"localhost", nullptr},
        {"192.168.1", nullptr},
        {"", nullptr},
    };
    for (const auto& c : cases) {
        const auto endpoint = parse_ip_literal(c.host, 9100);
        if (!c.described) {
            EXPECT_FALSE(endpoint) << c.host;
            continue;
        }
        ASSERT_TRUE(endpoint) << c.host;
        EXPECT_EQ(describe_endpoint(*endpoint), c.described);
    }
}

TEST(Discovery, ScansOnlyPrivateNetworksOrTheInjectedBase) {
    const struct {
        const char* outward;  // nullptr: the address could not be found
        const char* base;     // nullptr: refused
    } cases[] = {
        {"10.1.2.3", "10.1.2.0"},       {"172.16.0.9", "172.16.0.0"}, {"172.31.255.1", "172.31.255.0"},
        {"192.168.1.77", "192.168.1.0"}, {"172.15.0.1", nullptr},      {"172.32.0.1", nullptr},
        {"100.64.3.4", nullptr},         {"8.8.4.4", nullptr},         {"127.0.0.1", nullptr},
        {nullptr, nullptr},
    };
    for (const auto& c : cases) {
        const auto outward = c.outward ? std::optional(v4(c.outward)) : std::nullopt;
        if (c.base) {
            EXPECT_EQ(dotted(discovery_base(std::nullopt, outward)), c.base);
        } else {
            EXPECT_EQ(error_of([&] { (void)discovery_base(std::nullopt, outward); }),
                      "this computer is not on a private network")
                << (c.outward ? c.outward : "none");
        }
    }
    EXPECT_EQ(dotted(discovery_base(v4("127.0.5.9"), std::nullopt)), "127.0.5.0");
}

TEST(Discovery, FindsLoopbackPrintersInNumericOrder) {
    const UniqueFd first = listen_on("127.0.0.100", 0);
    const std::uint16_t port = port_of(first);
    const UniqueFd second = listen_on("127.0.0.2", port);
    const UniqueFd third = listen_on("127.0.0.20", port);
    EXPECT_EQ(scan_subnet(v4("127.0.0.0"), port),
              (std::vector<std::string>{"127.0.0.2", "127.0.0.20", "127.0.0.100"}));
    EXPECT_EQ(scan_subnet(v4("127.0.0.0"), closed_port()), std::vector<std::string>{});
}

TEST(TcpPrinter, DeliversEveryByteThenCloses) {
    const UniqueFd listener = listen_on("127.0.0.1", 0);
    const auto job = pattern(3 * 1024 * 1024 + 17);  // far beyond the socket buffers: partial writes
    std::vector<std::uint8_t> received;
    std::thread reader([&] {
        const UniqueFd peer(::accept(listener.get(), nullptr, nullptr));
        std::uint8_t buffer[65536];
        for (ssize_t n; (n = ::recv(peer.get(), buffer, sizeof buffer, 0)) > 0;)
            received.insert(received.end(), buffer, buffer + n);
    });
    print_tcp(" 127.0.0.1 ", port_of(listener), job);
    reader.join();
    EXPECT_EQ(received, job);
}

TEST(TcpPrinter, ReportsUnreachableRefusedAndStalledPrinters) {
    const auto job = pattern(8 * 1024 * 1024);
    const std::uint16_t closed = closed_port();
    EXPECT_EQ(error_of([&] { print_tcp("printer.local", closed, job); }),
              "enter the printer's IP address, e.g. 192.168.1.50");
    EXPECT_EQ(error_of([&] { print_tcp("127.0.0.1", closed, job); }),
              "cannot reach the printer at 127.0.0.1:" + std::to_string(closed) + ": Connection refused");
    // Refused, or unavailable where IPv6 is switched off: either way the address is written [v6]:port.
    EXPECT_TRUE(error_of([&] { print_tcp("::1", closed, job); })
                    .starts_with("cannot reach the printer at [::1]:" + std::to_string(closed) + ": "));

    // Accepted by the kernel, never read: the printer has stopped taking paper.
    const UniqueFd silent = listen_on("127.0.0.1", 0);
    const struct {
        TcpPrintLimits limits;
        const char* message;
    } stalls[] = {
        {{4000ms, 200ms, 30000ms}, "the printer stopped receiving: Connection timed out"},
        {{4000ms, 10000ms, 300ms}, "the printer stopped receiving: the job took too long"},
    };
    for (const auto& stall : stalls)
        EXPECT_EQ(error_of([&] { print_tcp("127.0.0.1", port_of(silent), job, stall.limits); }), stall.message);
}

TEST(PrinterCommands, CheckTheirDataBeforeAnyWorkAndRunOneJobAtATime) {
    PrintWorker worker;
    CommandTable table;
    add_printer_commands(table, worker, {.discovery_base = v4("127.0.0.0"), .tcp = {}});
    TaskPool pool(1);
    Dispatcher dispatcher(std::move(table), pool, [](auto fn) { fn(); });

    const std::uint16_t closed = closed_port();
    const struct {
        const char* command;
        nlohmann::json args;
        std::string message;
    } failures[] = {
        {"printer_print_raw", {{"printer", "any"}, {"data", ""}}, "print job is empty or too large"},
        {"printer_print_raw", {{"printer", "any"}, {"data", "not base64!"}},
         "bad print data: the length 11 is not a multiple of 4"},
        {"printer_print_tcp", {{"host", "127.0.0.1"}, {"port", closed}, {"data", "AA=="}},
         "cannot reach the printer at 127.0.0.1:" + std::to_string(closed) + ": Connection refused"},
    };
    for (const auto& f : failures) {
        const CommandReply reply = dispatcher.call(f.command, f.args);
        EXPECT_EQ(reply.status, CommandReply::Status::failed);
        EXPECT_EQ(reply.value, f.message);
    }

    const UniqueFd printer = listen_on("127.0.0.42", 0);
    const CommandReply found = dispatcher.call("printer_discover", {{"port", port_of(printer)}});
    EXPECT_EQ(found.value, nlohmann::json::array({"127.0.0.42"}));

    std::atomic<int> running = 0;
    std::atomic<int> overlapped = 0;
    std::vector<std::jthread> callers;
    for (int i = 0; i < 4; ++i)
        callers.emplace_back([&] {
            worker.run([&] {
                if (running.fetch_add(1) != 0) ++overlapped;
                std::this_thread::sleep_for(5ms);
                running.fetch_sub(1);
            });
        });
    callers.clear();
    EXPECT_EQ(overlapped, 0);
}

}  // namespace
}  // namespace tovik
