#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "bridge/dispatcher.hpp"

namespace tovik {

// An HTTP reply of the serve-mode bridge, independent of the HTTP library.
struct HttpReply {
    int status;
    std::string content_type;
    std::string body;
};

// The access rules of the serve-mode bridge: the bridge token and, when the
// browser sends one, an Origin equal to the server's own.
class ServeGate {
public:
    static constexpr std::size_t kMaxBodyBytes = 64u * 1024u * 1024u;

    ServeGate(std::string token, std::string own_origin);

    [[nodiscard]] bool token_ok(std::optional<std::string_view> supplied) const;
    [[nodiscard]] bool origin_ok(std::optional<std::string_view> origin) const;
    [[nodiscard]] const std::string& own_origin() const { return own_origin_; }
    [[nodiscard]] const std::string& token() const { return token_; }

private:
    std::string token_;
    std::string own_origin_;
};

// What the bridge knows of a command request once its headers are in.
struct IpcHeaders {
    std::optional<std::string> token;
    std::optional<std::string> origin;
    std::optional<std::uint64_t> content_length;  // absent for chunked bodies
};

// The refusal for a request whose headers already fail the rules (403 without
// the token or from a foreign origin, 413 for a declared length past the
// limit), so that its body is never read into memory; nullopt lets it in.
[[nodiscard]] std::optional<HttpReply> refuse_ipc_headers(const ServeGate& gate, const IpcHeaders& headers);

struct IpcRequest {
    std::string command;  // the path after /ipc/
    std::optional<std::string> token;
    std::optional<std::string> origin;
    std::string body;
};

// Answers POST /ipc/<command>: the header refusals above, 413 past the size
// limit, 400 for a body that is not JSON or nests too deep, else the command's
// reply (200 result, 400 failure message, 404 unknown command). `done` is
// called once, possibly later for background commands.
void handle_ipc(const ServeGate& gate, Dispatcher& dispatcher, const IpcRequest& request,
                std::function<void(HttpReply)> done);

// A fresh 32-hex-digit token from the secure random source.
[[nodiscard]] std::string random_bridge_token();

}  // namespace tovik
