#include <glib-unix.h>
#include <libsoup/soup.h>

#include <cstdio>
#include <memory>
#include <set>
#include <stdexcept>

#include "app/assets.hpp"
#include "app/content_security_policy.hpp"
#include "bridge/json_text.hpp"
#include "app/serve_gate.hpp"
#include "platform/gtk/gobject_ptr.hpp"
#include "platform/host_context.hpp"

namespace tovik {

namespace {

struct ServeState {
    HostContext& host;
    ServeGate gate;
    std::string policy;
    GMainLoop* loop;
    std::set<SoupServerMessage*> event_streams;
};

std::optional<std::string> header(SoupServerMessage* msg, const char* name) {
    const char* value = soup_message_headers_get_one(soup_server_message_get_request_headers(msg), name);
    if (!value) return std::nullopt;
    return std::string(value);
}

void set_reply(SoupServerMessage* msg, const HttpReply& reply) {
    soup_server_message_set_status(msg, static_cast<guint>(reply.status), nullptr);
    soup_message_headers_replace(soup_server_message_get_response_headers(msg), "Cache-Control", "no-store");
    soup_server_message_set_response(msg, reply.content_type.c_str(), SOUP_MEMORY_COPY, reply.body.data(),
                                     reply.body.size());
}

void serve_ipc(ServeState& state, SoupServerMessage* msg, const char* path) {
    if (std::string_view(soup_server_message_get_method(msg)) != "POST") {
        set_reply(msg, {405, "application/json", "\"use POST for commands\""});
        return;
    }
    SoupMessageBody* request_body = soup_server_message_get_request_body(msg);
    GBytes* flat = soup_message_body_flatten(request_body);
    gsize size = 0;
    const auto* data = static_cast<const char*>(g_bytes_get_data(flat, &size));
    IpcRequest request{path + std::string_view("/ipc/").size(), header(msg, "X-Tovik-Bridge"), header(msg, "Origin"),
                       std::string(data ? data : "", size)};
    g_bytes_unref(flat);

    // The reply may come later (background commands): keep the message paused until then.
    g_object_ref(msg);
    soup_server_message_pause(msg);
    handle_ipc(state.gate, state.host.dispatcher, request, [msg](HttpReply reply) {
        set_reply(msg, reply);
        soup_server_message_unpause(msg);
        g_object_unref(msg);
    });
}

void serve_events(ServeState& state, SoupServerMessage* msg, GHashTable* query) {
    const char* token = query ? static_cast<const char*>(g_hash_table_lookup(query, "bridge")) : nullptr;
    if (!state.gate.token_ok(token ? std::optional<std::string_view>(token) : std::nullopt)) {
        set_reply(msg, {403, "application/json", "\"missing or wrong bridge token\""});
        return;
    }
    SoupMessageHeaders* headers = soup_server_message_get_response_headers(msg);
    soup_message_headers_set_encoding(headers, SOUP_ENCODING_CHUNKED);
    soup_message_headers_set_content_type(headers, "text/event-stream", nullptr);
    soup_message_headers_replace(headers, "Cache-Control", "no-store");
    soup_server_message_set_status(msg, 200, nullptr);
    soup_message_body_append(soup_server_message_get_response_body(msg), SOUP_MEMORY_STATIC, ": connected\n\n", 14);
    state.event_streams.insert(msg);
    g_signal_connect(msg, "finished", G_CALLBACK(+[](SoupServerMessage* finished, gpointer data) {
                         static_cast<ServeState*>(data)->event_streams.erase(finished);
                     }),
                     &state);
}

void serve_asset(ServeState& state, SoupServerMessage* msg, const char* path) {
    const std::string_view method = soup_server_message_get_method(msg);
    if (method != "GET" && method != "HEAD") {
        set_reply(msg, {405, "text/plain", "method not allowed"});
        return;
    }
    const Asset* asset = find_asset(path);
    if (!asset) {
        set_reply(msg, {404, "text/plain", "not found"});
        return;
    }
    SoupMessageHeaders* headers = soup_server_message_get_response_headers(msg);
    soup_message_headers_replace(headers, "Content-Security-Policy", state.policy.c_str());
    soup_message_headers_replace(headers, "X-Content-Type-Options", "nosniff");
    soup_server_message_set_status(msg, 200, nullptr);
    soup_server_message_set_response(msg, std::string(asset->mime_type).c_str(), SOUP_MEMORY_STATIC,
                                     reinterpret_cast<const char*>(asset->data),
                                     asset->size);
}

void on_request(SoupServer*, SoupServerMessage* msg, const char* path, GHashTable* query, gpointer data) {
    auto& state = *static_cast<ServeState*>(data);
    const std::string_view route(path);
    if (route.starts_with("/ipc/"))
        serve_ipc(state, msg, path);
    else if (route == "/events")
        serve_events(state, msg, query);
    else
        serve_asset(state, msg, path);
}

// A refused request's body is read off the connection and dropped, never kept;
// the connection then closes.
void refuse_early(SoupServerMessage* msg, const HttpReply& reply) {
    set_reply(msg, reply);
    soup_message_headers_replace(soup_server_message_get_response_headers(msg), "Connection", "close");
    SoupMessageBody* body = soup_server_message_get_request_body(msg);
    soup_message_body_set_accumulate(body, FALSE);
    soup_message_body_truncate(body);
}

// A chunked body declares no length: it is counted as it arrives.
void on_chunk(SoupServerMessage* msg, GBytes*, gpointer) {
    if (soup_server_message_get_request_body(msg)->length > static_cast<goffset>(ServeGate::kMaxBodyBytes))
        refuse_early(msg, {413, "application/json", "\"request body too large\""});
}

// Token, origin and declared length are checked before any of the body is read.
void on_headers(SoupServerMessage* msg, gpointer data) {
    const auto& state = *static_cast<ServeState*>(data);
    const bool command = std::string_view(g_uri_get_path(soup_server_message_get_uri(msg))).starts_with("/ipc/");
    if (!command) {
        // Nothing else reads a request body.
        soup_message_body_set_accumulate(soup_server_message_get_request_body(msg), FALSE);
        return;
    }
    SoupMessageHeaders* headers = soup_server_message_get_request_headers(msg);
    IpcHeaders ipc{header(msg, "X-Tovik-Bridge"), header(msg, "Origin"), std::nullopt};
    if (soup_message_headers_get_encoding(headers) == SOUP_ENCODING_CONTENT_LENGTH)
        ipc.content_length = static_cast<std::uint64_t>(soup_message_headers_get_content_length(headers));
    if (auto refusal = refuse_ipc_headers(state.gate, ipc)) {
        refuse_early(msg, *refusal);
        return;
    }
    g_signal_connect(msg, "got-chunk", G_CALLBACK(on_chunk), nullptr);
}

void send_event(ServeState& state, const std::string& name, const nlohmann::json& payload) {
    const std::string frame = "event: " + name + "\ndata: " + to_json_text(payload) + "\n\n";
    for (SoupServerMessage* msg : state.event_streams) {
        soup_message_body_append(soup_server_message_get_response_body(msg), SOUP_MEMORY_COPY, frame.data(),
                                 frame.size());
        soup_server_message_unpause(msg);
    }
}

}  // namespace

int run_serve(HostContext& host, const ServeOptions& options) {
    GObjectPtr<SoupServer> server(SOUP_SERVER(g_object_new(SOUP_TYPE_SERVER, "server-header", "tovik", nullptr)));
    GError* error = nullptr;
    // Loopback only: the bridge must never be reachable from another machine.
    GObjectPtr<GSocketAddress> address(g_inet_socket_address_new_from_string("127.0.0.1", options.port));
    if (!soup_server_listen(server.get(), address.get(), static_cast<SoupServerListenOptions>(0), &error)) {
        std::fprintf(stderr, "tovik: cannot listen on 127.0.0.1:%u: %s\n", options.port, error->message);
        g_error_free(error);
        return 1;
    }
    GSList* uris = soup_server_get_uris(server.get());
    const int port = uris ? g_uri_get_port(static_cast<GUri*>(uris->data)) : options.port;
    g_slist_free_full(uris, reinterpret_cast<GDestroyNotify>(g_uri_unref));

    const std::string origin = "http://127.0.0.1:" + std::to_string(port);
    std::unique_ptr<GMainLoop, decltype(&g_main_loop_unref)> loop(g_main_loop_new(nullptr, FALSE), g_main_loop_unref);
    ServeState state{host, ServeGate(options.token, origin), content_security_policy(origin, origin), loop.get(), {}};

    soup_server_add_handler(server.get(), nullptr, on_request, &state, nullptr);
    g_signal_connect(server.get(), "request-started",
                     G_CALLBACK(+[](SoupServer*, SoupServerMessage* msg, gpointer data) {
                         g_signal_connect(msg, "got-headers", G_CALLBACK(on_headers), data);
                     }),
                     &state);
    host.events.add_sink([&state](const std::string& name, const nlohmann::json& payload) {
        send_event(state, name, payload);
    });

    auto quit = +[](gpointer loop_pointer) -> gboolean {
        g_main_loop_quit(static_cast<GMainLoop*>(loop_pointer));
        return G_SOURCE_REMOVE;
    };
    g_unix_signal_add(SIGINT, quit, loop.get());
    g_unix_signal_add(SIGTERM, quit, loop.get());

    std::printf("serving %s/?bridge=%s\n", origin.c_str(), options.token.c_str());
    std::fflush(stdout);
    g_main_loop_run(loop.get());
    for (SoupServerMessage* msg : state.event_streams) soup_message_body_complete(soup_server_message_get_response_body(msg));
    soup_server_disconnect(server.get());
    return 0;
}

}  // namespace tovik
