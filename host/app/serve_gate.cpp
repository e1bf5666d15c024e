#include "app/serve_gate.hpp"

#include "bridge/json_input.hpp"
#include "bridge/json_text.hpp"
#include "platform/secure_random.hpp"


namespace tovik {

namespace {

constexpr const char* kJson = "application/json";

HttpReply json_string(int status, const std::string& message) { return {status, kJson, to_json_text(message)}; }

// Compares without an early exit, so the token cannot be guessed by timing.
bool same_secret(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    unsigned char difference = 0;
    for (std::size_t i = 0; i < a.size(); ++i) difference |= static_cast<unsigned char>(a[i] ^ b[i]);
    return difference == 0;
}

}  // namespace

ServeGate::ServeGate(std::string token, std::string own_origin)
    : token_(std::move(token)), own_origin_(std::move(own_origin)) {}

bool ServeGate::token_ok(std::optional<std::string_view> supplied) const {
    return supplied && !token_.empty() && same_secret(*supplied, token_);
}

bool ServeGate::origin_ok(std::optional<std::string_view> origin) const {
    // Tools without a browser send no Origin; a browser always does for POST.
    return !origin || *origin == own_origin_;
}

std::optional<HttpReply> refuse_ipc_headers(const ServeGate& gate, const IpcHeaders& headers) {
    if (!gate.token_ok(headers.token)) return json_string(403, "missing or wrong bridge token");
    if (!gate.origin_ok(headers.origin)) return json_string(403, "requests from this origin are refused");
    if (headers.content_length && *headers.content_length > ServeGate::kMaxBodyBytes)
        return json_string(413, "request body too large");
    return std::nullopt;
}

void handle_ipc(const ServeGate& gate, Dispatcher& dispatcher, const IpcRequest& request,
                std::function<void(HttpReply)> done) {
    if (auto refusal = refuse_ipc_headers(gate, {request.token, request.origin, request.body.size()}))
        return done(std::move(*refusal));

    nlohmann::json args = nlohmann::json::object();
    if (!request.body.empty()) {
        try {
            args = parse_page_json(request.body);
        } catch (const std::exception& e) {
            return done(json_string(400, std::string("request body is not JSON: ") + e.what()));
        }
    }
    dispatcher.dispatch(request.command, args, [done = std::move(done)](CommandReply reply) {
        switch (reply.status) {
            case CommandReply::Status::ok:
                done({200, kJson, std::move(reply).json_text()});
                break;
            case CommandReply::Status::failed: done({400, kJson, to_json_text(reply.value)}); break;
            case CommandReply::Status::unknown_command: done({404, kJson, to_json_text(reply.value)}); break;
        }
    });
}

std::string random_bridge_token() { return secure_random_hex(16); }

}  // namespace tovik
