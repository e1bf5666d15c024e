#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>

#include "app/assets.hpp"
#include "app/content_security_policy.hpp"
#include "app/identity.hpp"
#include "bridge/json_input.hpp"
#include "bridge/json_text.hpp"
#include "platform/gtk/download_handler.hpp"
#include "platform/gtk/gobject_ptr.hpp"
#include "platform/gtk/page_channel.hpp"
#include "platform/gtk/page_integrations_script.hpp"
#include "platform/gtk/page_reply.hpp"
#include "platform/desktop_services.hpp"
#include "platform/gtk/page_shell.hpp"
#include "platform/host_context.hpp"

namespace tovik {

namespace {

constexpr const char* kScheme = "tovik";
constexpr const char* kOrigin = "tovik://app";
// The web view's processes release caches past a third of this and harder past half.
constexpr guint kMemoryLimitMb = 300;

struct WindowState {
    HostContext& host;
    const WindowOptions& options;
    std::string policy;
    PagePaths paths;
    GtkWindow* window = nullptr;
    WebKitWebView* view = nullptr;
    bool quit_scheduled = false;
    int exit_status = 0;
};

// Keeps GTK and WebKit from waiting on desktop services that a till may not
// have: without these, a missing portal or accessibility bus can stall start-up
// for the D-Bus timeout (about 25 s). An explicit setting in the environment wins.
void avoid_desktop_service_stalls() {
    setenv("NO_AT_BRIDGE", "1", 0);
    setenv("GTK_USE_PORTAL", "0", 0);
    setenv("GTK_A11Y", "none", 0);
    setenv("WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS", "1", 0);
}

void serve_asset(WebKitURISchemeRequest* request, gpointer data) {
    auto& state = *static_cast<WindowState*>(data);
    const Asset* asset = find_asset(webkit_uri_scheme_request_get_path(request));
    if (!asset) {
        GError* error = g_error_new_literal(G_IO_ERROR, G_IO_ERROR_NOT_FOUND, "not found");
        webkit_uri_scheme_request_finish_error(request, error);
        g_error_free(error);
        return;
    }
    GObjectPtr<GInputStream> stream(
        g_memory_input_stream_new_from_data(asset->data, static_cast<gssize>(asset->size), nullptr));
    GObjectPtr<WebKitURISchemeResponse> response(
        webkit_uri_scheme_response_new(stream.get(), static_cast<gint64>(asset->size)));
    webkit_uri_scheme_response_set_content_type(response.get(), std::string(asset->mime_type).c_str());
    SoupMessageHeaders* headers = soup_message_headers_new(SOUP_MESSAGE_HEADERS_RESPONSE);
    soup_message_headers_append(headers, "Content-Security-Policy", state.policy.c_str());
    webkit_uri_scheme_response_set_http_headers(response.get(), headers);  // takes ownership
    webkit_uri_scheme_response_set_status(response.get(), 200, nullptr);
    webkit_uri_scheme_request_finish_with_response(request, response.get());
}

// The page's message as JSON; null when it has no JSON form. Text the bridge
// refuses (nested too deep, say) throws CommandError.
nlohmann::json message_json(JSCValue* value) {
    GCharPtr text(jsc_value_is_string(value) ? jsc_value_to_string(value) : jsc_value_to_json(value, 0));
    if (!text) return nullptr;
    return parse_page_json(text.get());
}

void schedule_quit(WindowState& state) {
    if (state.quit_scheduled) return;
    state.quit_scheduled = true;
    // Let the reply reach the page before the loop ends.
    g_timeout_add(
        50, +[](gpointer) -> gboolean {
            gtk_main_quit();
            return G_SOURCE_REMOVE;
        },
        nullptr);
}

// Runs one page command message (JSON text of {cmd, args}) from either way in
// and answers it with the envelope text.
void run_command_message(WindowState& state, std::string_view text, const char* way, ChannelRespond respond,
                         ChannelPart part = {}) {
    nlohmann::json message;
    try {
        message = parse_page_json(text);
    } catch (const std::exception& e) {
        respond(failure_envelope(std::string("the command message is refused: ") + e.what()));
        return;
    }
    if (!message.is_object() || !message.contains("cmd") || !message["cmd"].is_string()) {
        respond(failure_envelope("a command message needs a text field cmd"));
        return;
    }
    const std::string command = message["cmd"].get<std::string>();
    // Moved, not copied: the arguments may be a page of records.
    const auto given = message.find("args");
    const nlohmann::json args = given != message.end() ? std::move(*given) : nlohmann::json::object();
    state.host.dispatcher.dispatch(command, args, [respond = std::move(respond), &state, command, way](CommandReply result) {
        const bool ok = result.status == CommandReply::Status::ok;
        if (ok)
            respond(ok_envelope(std::move(result).json_text()));
        else
            respond(failure_envelope(result.value.is_string() ? result.value.get<std::string>()
                                                              : to_json_text(result.value)));
        if (state.options.exit_after_invoke && !state.quit_scheduled) {
            std::printf("answered %s %s over %s\n", command.c_str(), ok ? "ok" : "failed", way);
            std::fflush(stdout);
            state.exit_status = ok ? 0 : 3;
            schedule_quit(state);
        }
    }, std::move(part));
}

gboolean on_bridge_message(WebKitUserContentManager*, JSCValue* value, WebKitScriptMessageReply* raw_reply,
                           gpointer data) {
    auto reply = std::make_shared<PageReply>(raw_reply, jsc_value_get_context(value));
    // The client posts its message as JSON text, which crosses the process
    // boundary as one string instead of an object tree rebuilt here.
    GCharPtr text(jsc_value_is_string(value) ? jsc_value_to_string(value) : jsc_value_to_json(value, 0));
    run_command_message(*static_cast<WindowState*>(data), text ? text.get() : "null", "script messages",
                        [reply](std::string envelope) { reply->send(envelope); });
    return TRUE;
}

gboolean on_shell_message(WebKitUserContentManager*, JSCValue* value, WebKitScriptMessageReply* raw_reply,
                          gpointer data) {
    auto& state = *static_cast<WindowState*>(data);
    auto reply = std::make_shared<PageReply>(raw_reply, jsc_value_get_context(value));
    try {
        handle_page_shell(state.window, state.host.folders, state.paths, message_json(value), reply);
    } catch (const std::exception& e) {
        reply->fail(std::string("the message is refused: ") + e.what());
    }
    return TRUE;
}

gboolean on_show_notification(WebKitWebView*, WebKitNotification* notification, gpointer) {
    const char* title = webkit_notification_get_title(notification);
    const char* body = webkit_notification_get_body(notification);
    show_notification(title ? title : "", body ? body : "");
    return TRUE;
}

void on_notification_permissions(WebKitWebContext* context, gpointer) {
    WebKitSecurityOrigin* origin = webkit_security_origin_new_for_uri(kOrigin);
    GList* allowed = g_list_append(nullptr, origin);
    webkit_web_context_initialize_notification_permissions(context, allowed, nullptr);
    g_list_free(allowed);
    webkit_security_origin_unref(origin);
}

// The main frame stays on the embedded client; other pages open outside.
gboolean on_decide_policy(WebKitWebView*, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type, gpointer) {
    if (type != WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION) return FALSE;
    WebKitNavigationAction* action =
        webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
    const char* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
    if (uri && g_str_has_prefix(uri, "tovik://")) return FALSE;
    if (uri && g_str_has_prefix(uri, "about:")) return FALSE;
    webkit_policy_decision_ignore(decision);
    return TRUE;
}

void emit_to_page(WindowState& state, const std::string& name, const nlohmann::json& payload) {
    const std::string script = "window.dispatchEvent(new CustomEvent(" + to_json_text(name) +
                               ", {detail: " + to_json_text(payload) + "}));";
    webkit_web_view_evaluate_javascript(state.view, script.c_str(), -1, nullptr, nullptr, nullptr, nullptr, nullptr);
}

// The page is one application from our own scheme, not a browsing session:
// no page or resource caches to keep, and memory handed back well before the
// default limit (the machine's whole memory) would ask for it. There is no kill
// threshold: a killed page would lose the till's work.
GObjectPtr<WebKitWebContext> make_web_context(const KnownFolders& folders) {
    std::unique_ptr<WebKitMemoryPressureSettings, decltype(&webkit_memory_pressure_settings_free)> pressure(
        webkit_memory_pressure_settings_new(), webkit_memory_pressure_settings_free);
    webkit_memory_pressure_settings_set_memory_limit(pressure.get(), kMemoryLimitMb);
    webkit_memory_pressure_settings_set_conservative_threshold(pressure.get(), 0.33);
    webkit_memory_pressure_settings_set_strict_threshold(pressure.get(), 0.5);
    webkit_memory_pressure_settings_set_poll_interval(pressure.get(), 5);
    webkit_website_data_manager_set_memory_pressure_settings(pressure.get());

    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    GObjectPtr<WebKitWebsiteDataManager> data(webkit_website_data_manager_new(
        "base-data-directory", (folders.data / "webview").c_str(), "base-cache-directory",
        (folders.data / "webview-cache").c_str(), nullptr));
    G_GNUC_END_IGNORE_DEPRECATIONS
    GObjectPtr<WebKitWebContext> context(WEBKIT_WEB_CONTEXT(g_object_new(
        WEBKIT_TYPE_WEB_CONTEXT, "website-data-manager", data.get(), "memory-pressure-settings", pressure.get(), nullptr)));
    webkit_web_context_set_cache_model(context.get(), WEBKIT_CACHE_MODEL_DOCUMENT_VIEWER);
    return context;
}

}  // namespace

int run_window(int& argc, char**& argv, HostContext& host, const WindowOptions& options) {
    avoid_desktop_service_stalls();
    if (!gtk_init_check(&argc, &argv)) throw std::runtime_error("cannot open the display");

    WindowState state{host, options, content_security_policy(kOrigin, ""), PagePaths(host.folders.documents)};

    GObjectPtr<WebKitWebContext> context = make_web_context(host.folders);
    PageChannels channels([&state](std::string request, ChannelRespond respond, ChannelPart part) {
        run_command_message(state, request, "the page channel", std::move(respond), std::move(part));
    });
    channels.attach(context.get(), kOrigin, options.page_channel_modules);
    webkit_web_context_register_uri_scheme(context.get(), kScheme, serve_asset, &state, nullptr);
    WebKitSecurityManager* security = webkit_web_context_get_security_manager(context.get());
    webkit_security_manager_register_uri_scheme_as_secure(security, kScheme);
    webkit_security_manager_register_uri_scheme_as_cors_enabled(security, kScheme);
    g_signal_connect(context.get(), "initialize-notification-permissions", G_CALLBACK(on_notification_permissions),
                     nullptr);
    DownloadHandler downloads(host.folders.downloads);
    downloads.attach(context.get());

    GObjectPtr<WebKitUserContentManager> content(webkit_user_content_manager_new());
    webkit_user_content_manager_register_script_message_handler_with_reply(content.get(), "tovik", nullptr);
    webkit_user_content_manager_register_script_message_handler_with_reply(content.get(), "tovikShell", nullptr);
    g_signal_connect(content.get(), "script-message-with-reply-received::tovik", G_CALLBACK(on_bridge_message),
                     &state);
    g_signal_connect(content.get(), "script-message-with-reply-received::tovikShell", G_CALLBACK(on_shell_message),
                     &state);
    WebKitUserScript* integrations =
        webkit_user_script_new(kPageIntegrationsScript, WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                               WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
    webkit_user_content_manager_add_script(content.get(), integrations);
    webkit_user_script_unref(integrations);
    if (!options.extra_page_script.empty()) {
        WebKitUserScript* extra =
            webkit_user_script_new(options.extra_page_script.c_str(), WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                                   WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
        webkit_user_content_manager_add_script(content.get(), extra);
        webkit_user_script_unref(extra);
    }

    state.window = GTK_WINDOW(gtk_window_new(GTK_WINDOW_TOPLEVEL));
    gtk_widget_set_name(GTK_WIDGET(state.window), identity::kMainWindowLabel);
    gtk_window_set_title(state.window, identity::kProductName);
    gtk_window_set_default_size(state.window, identity::kWindowWidth, identity::kWindowHeight);
    GdkGeometry hints{};
    hints.min_width = identity::kWindowMinWidth;
    hints.min_height = identity::kWindowMinHeight;
    gtk_window_set_geometry_hints(state.window, nullptr, &hints, GDK_HINT_MIN_SIZE);
    g_signal_connect(state.window, "destroy", G_CALLBACK(+[](GtkWidget*, gpointer data) {
                         auto& closing = *static_cast<WindowState*>(data);
                         closing.window = nullptr;
                         closing.view = nullptr;
                         if (gtk_main_level() > 0) gtk_main_quit();
                     }),
                     &state);

    state.view = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context.get(),
                                              "user-content-manager", content.get(),
                                              "default-content-security-policy", state.policy.c_str(), nullptr));
    WebKitSettings* settings = webkit_web_view_get_settings(state.view);
    const bool debugging = g_getenv("TOVIK_DEVTOOLS") != nullptr;
    webkit_settings_set_enable_developer_extras(settings, debugging);
    webkit_settings_set_enable_write_console_messages_to_stdout(settings, debugging);
    // Screens of lists and forms gain nothing from GPU compositing, and its
    // GL context and layer buffers cost the web process tens of megabytes.
    webkit_settings_set_hardware_acceleration_policy(settings, WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
    g_signal_connect(state.view, "show-notification", G_CALLBACK(on_show_notification), nullptr);
    g_signal_connect(state.view, "decide-policy", G_CALLBACK(on_decide_policy), nullptr);
    gtk_container_add(GTK_CONTAINER(state.window), GTK_WIDGET(state.view));

    host.events.add_sink([&state](const std::string& name, const nlohmann::json& payload) {
        if (state.view) emit_to_page(state, name, payload);
    });
    if (options.instance)
        options.instance->listen([&state] {
            if (!state.window) return;
            gtk_window_deiconify(state.window);
            gtk_window_present(state.window);
        });

    webkit_web_view_load_uri(state.view, (std::string(kOrigin) + "/" + identity::kEntryPage).c_str());
    gtk_widget_show_all(GTK_WIDGET(state.window));
    gtk_main();
    if (state.window) gtk_widget_destroy(GTK_WIDGET(state.window));
    return state.exit_status;
}

}  // namespace tovik
