#pragma once
#include <webkit2/webkit2.h>

#include <filesystem>
#include <map>
#include <set>

namespace tovik {

// Saves the web view's downloads under Downloads/"TOVIK pro" with free names,
// and announces each finished one with a system notification.
class DownloadHandler {
public:
    explicit DownloadHandler(std::filesystem::path downloads);
    void attach(WebKitWebContext* context);

private:
    struct Running {
        std::filesystem::path path;
        bool failed = false;
    };

    static void on_started(WebKitWebContext*, WebKitDownload* download, gpointer self);
    static gboolean on_decide_destination(WebKitDownload* download, gchar* suggested, gpointer self);
    static void on_failed(WebKitDownload* download, GError* error, gpointer self);
    static void on_finished(WebKitDownload* download, gpointer self);

    std::filesystem::path folder_;  // empty: keep the web view's own destination
    std::map<WebKitDownload*, Running> running_;
    std::set<std::filesystem::path> reserved_;
};

}  // namespace tovik
