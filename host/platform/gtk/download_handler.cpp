#include "platform/gtk/download_handler.hpp"

#include <cstdio>

#include "app/download_naming.hpp"
#include "app/identity.hpp"
#include "platform/desktop_services.hpp"
#include "platform/gtk/gobject_ptr.hpp"

namespace tovik {

DownloadHandler::DownloadHandler(std::filesystem::path downloads) {
    if (!downloads.empty()) folder_ = downloads / identity::kProductName;
}

void DownloadHandler::attach(WebKitWebContext* context) {
    g_signal_connect(context, "download-started", G_CALLBACK(on_started), this);
}

void DownloadHandler::on_started(WebKitWebContext*, WebKitDownload* download, gpointer self) {
    g_signal_connect(download, "decide-destination", G_CALLBACK(on_decide_destination), self);
    g_signal_connect(download, "failed", G_CALLBACK(on_failed), self);
    g_signal_connect(download, "finished", G_CALLBACK(on_finished), self);
}

gboolean DownloadHandler::on_decide_destination(WebKitDownload* download, gchar* suggested, gpointer self_pointer) {
    auto* self = static_cast<DownloadHandler*>(self_pointer);
    if (self->folder_.empty()) return FALSE;
    std::error_code ec;
    std::filesystem::create_directories(self->folder_, ec);
    if (ec) {
        std::fprintf(stderr, "tovik: %s: %s\n", self->folder_.c_str(), ec.message().c_str());
        return FALSE;
    }
    const auto path = free_download_path(self->folder_, download_file_name(suggested ? suggested : ""),
                                         [self](const std::filesystem::path& candidate) {
                                             return file_exists(candidate) || self->reserved_.contains(candidate);
                                         });
    GCharPtr uri(g_filename_to_uri(path.c_str(), nullptr, nullptr));
    if (!uri) return FALSE;
    webkit_download_set_destination(download, uri.get());
    self->reserved_.insert(path);
    self->running_[download] = {path, false};
    return TRUE;
}

void DownloadHandler::on_failed(WebKitDownload* download, GError* error, gpointer self_pointer) {
    auto* self = static_cast<DownloadHandler*>(self_pointer);
    auto it = self->running_.find(download);
    if (it != self->running_.end()) it->second.failed = true;
    std::fprintf(stderr, "tovik: download failed: %s\n", error ? error->message : "unknown error");
}

// "finished" follows "failed" too; only a download that did not fail is announced.
void DownloadHandler::on_finished(WebKitDownload* download, gpointer self_pointer) {
    auto* self = static_cast<DownloadHandler*>(self_pointer);
    auto it = self->running_.find(download);
    if (it == self->running_.end()) return;
    const Running done = it->second;
    self->running_.erase(it);
    self->reserved_.erase(done.path);
    if (!done.failed)
        show_notification(identity::kProductName,
                          done.path.filename().string() + " \u2192 " + done.path.parent_path().string());
}

}  // namespace tovik
