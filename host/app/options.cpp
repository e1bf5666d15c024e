#include "app/options.hpp"

#include <charconv>
#include <stdexcept>

namespace tovik {

namespace {

std::uint16_t parse_port(const std::string& text) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value > 65535)
        throw std::invalid_argument("--port needs a number from 0 to 65535, not \"" + text + "\"");
    return static_cast<std::uint16_t>(value);
}

std::filesystem::path parse_folder(const std::string& flag, const std::string& text) {
    if (text.empty()) throw std::invalid_argument(flag + " needs a folder");
    return std::filesystem::absolute(text);
}

}  // namespace

Options parse_options(const std::vector<std::string>& args) {
    Options options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        std::string flag = arg;
        std::optional<std::string> inline_value;
        if (const auto eq = arg.find('='); arg.starts_with("--") && eq != std::string::npos) {
            flag = arg.substr(0, eq);
            inline_value = arg.substr(eq + 1);
        }
        auto value = [&]() -> std::string {
            if (inline_value) return *inline_value;
            if (i + 1 >= args.size()) throw std::invalid_argument(flag + " needs a value");
            return args[++i];
        };
        if (flag == "--serve") options.serve = true;
        else if (flag == "--port") options.port = parse_port(value());
        else if (flag == "--token") {
            options.token = value();
            if (options.token.empty()) throw std::invalid_argument("--token needs a value");
        } else if (flag == "--data-dir") options.data_dir = parse_folder(flag, value());
        else if (flag == "--documents-dir") options.documents_dir = parse_folder(flag, value());
        else if (flag == "--downloads-dir") options.downloads_dir = parse_folder(flag, value());
        else if (flag == "--secret-store") {
            const std::string backend = value();
            if (backend == "service") options.secret_backend = SecretBackend::service;
            else if (backend == "file") options.secret_backend = SecretBackend::file;
            else throw std::invalid_argument("--secret-store is service or file, not \"" + backend + "\"");
        } else if (flag == "--exit-after-invoke") options.exit_after_invoke = true;
        else if (flag == "--help" || flag == "-h") options.help = true;
        else throw std::invalid_argument("unknown option " + arg);
    }
    return options;
}

std::string usage_text() {
    return "usage: tovik [--serve [--port N] [--token T]] [--data-dir DIR] [--documents-dir DIR]\n"
           "             [--downloads-dir DIR] [--secret-store service|file] [--exit-after-invoke]\n"
           "  --serve              no window: serve the client and the command bridge on 127.0.0.1\n"
           "  --port N             serve-mode port (0 or absent: any free port)\n"
           "  --token T            serve-mode bridge token (else TOVIK_BRIDGE_TOKEN, else random)\n"
           "  --data-dir DIR       replaces the per-user application data folder\n"
           "  --documents-dir DIR  replaces the Documents folder\n"
           "  --downloads-dir DIR  replaces the Downloads folder\n"
           "  --secret-store KIND  service (the Secret Service, default) or file (development only)\n"
           "  --exit-after-invoke  quit once the page's first command has been answered (benchmarks)\n";
}

}  // namespace tovik
