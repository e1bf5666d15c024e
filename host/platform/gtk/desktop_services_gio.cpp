#include "platform/desktop_services.hpp"

#include <gio/gio.h>

#include <cstdio>
#include <memory>

namespace tovik {

namespace {

struct GErrorFree {
    void operator()(GError* e) const { g_error_free(e); }
};
using ErrorPtr = std::unique_ptr<GError, GErrorFree>;

struct Notice {
    std::string title;
    std::string body;
};

void on_notify_done(GObject* source, GAsyncResult* result, gpointer) {
    GError* raw = nullptr;
    GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &raw);
    ErrorPtr error(raw);
    if (reply) g_variant_unref(reply);
    if (error) std::fprintf(stderr, "tovik: notification not shown: %s\n", error->message);
}

void on_bus(GObject*, GAsyncResult* result, gpointer data) {
    std::unique_ptr<Notice> notice(static_cast<Notice*>(data));
    GError* raw = nullptr;
    GDBusConnection* bus = g_bus_get_finish(result, &raw);
    ErrorPtr error(raw);
    if (!bus) {
        std::fprintf(stderr, "tovik: notification not shown: %s\n", error ? error->message : "no session bus");
        return;
    }
    g_dbus_connection_call(bus, "org.freedesktop.Notifications", "/org/freedesktop/Notifications",
                           "org.freedesktop.Notifications", "Notify",
                           g_variant_new("(susssasa{sv}i)", "TOVIK pro", 0u, "", notice->title.c_str(),
                                         notice->body.c_str(), nullptr, nullptr, -1),
                           G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, on_notify_done, nullptr);
    g_object_unref(bus);
}

void on_launched(GObject*, GAsyncResult* result, gpointer) {
    GError* raw = nullptr;
    g_app_info_launch_default_for_uri_finish(result, &raw);
    ErrorPtr error(raw);
    if (error) std::fprintf(stderr, "tovik: cannot open with the default application: %s\n", error->message);
}

}  // namespace

void show_notification(const std::string& title, const std::string& body) {
    // Without a session bus address GIO would try to autolaunch one; a till
    // without a desktop session simply shows no notification.
    if (!g_getenv("DBUS_SESSION_BUS_ADDRESS")) {
        std::fprintf(stderr, "tovik: notification not shown: no session bus\n");
        return;
    }
    g_bus_get(G_BUS_TYPE_SESSION, nullptr, on_bus, std::make_unique<Notice>(Notice{title, body}).release());
}

void open_with_default_application(const std::string& uri) {
    g_app_info_launch_default_for_uri_async(uri.c_str(), nullptr, nullptr, on_launched, nullptr);
}

}  // namespace tovik
