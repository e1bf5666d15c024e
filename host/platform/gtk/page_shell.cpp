#include "platform/gtk/page_shell.hpp"

#include <array>
#include <stdexcept>
#include <string>

#include "app/file_access.hpp"
#include "platform/desktop_services.hpp"
#include "platform/gtk/gobject_ptr.hpp"

namespace tovik {

namespace {

using nlohmann::json;

std::string text_field(const json& message, const char* key) {
    auto it = message.find(key);
    if (it == message.end() || !it->is_string()) throw std::runtime_error(std::string("missing text field ") + key);
    return it->get<std::string>();
}

std::string decode_base64(const std::string& text) {
    static constexpr std::string_view alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=";
    if (text.find_first_not_of(alphabet) != std::string::npos) throw std::runtime_error("data is not Base64 text");
    gsize size = 0;
    std::unique_ptr<guchar, GFreeDeleter> bytes(g_base64_decode(text.c_str(), &size));
    return std::string(reinterpret_cast<const char*>(bytes.get()), size);
}

bool is_external_scheme(const std::string& url) {
    static constexpr std::array<std::string_view, 4> schemes = {"http:", "https:", "mailto:", "tel:"};
    for (auto scheme : schemes)
        if (url.size() > scheme.size() && g_ascii_strncasecmp(url.c_str(), scheme.data(), scheme.size()) == 0)
            return true;
    return false;
}

void show_alert(GtkWindow* window, const std::string& text) {
    GtkWidget* dialog = gtk_message_dialog_new(window, GTK_DIALOG_DESTROY_WITH_PARENT, GTK_MESSAGE_INFO,
                                               GTK_BUTTONS_OK, "%s", text.c_str());
    gtk_window_set_title(GTK_WINDOW(dialog), "TOVIK pro");
    g_signal_connect(dialog, "response", G_CALLBACK(gtk_widget_destroy), nullptr);
    gtk_widget_show(dialog);
}

void ask_confirm(GtkWindow* window, const std::string& text, SharedPageReply reply) {
    GtkWidget* dialog = gtk_message_dialog_new(window, static_cast<GtkDialogFlags>(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
                                               GTK_MESSAGE_QUESTION, GTK_BUTTONS_YES_NO, "%s", text.c_str());
    gtk_window_set_title(GTK_WINDOW(dialog), "TOVIK pro");
    auto holder = std::make_unique<SharedPageReply>(std::move(reply));
    g_signal_connect_data(
        dialog, "response", G_CALLBACK(+[](GtkDialog* d, gint response, gpointer data) {
            (*static_cast<SharedPageReply*>(data))->ok(response == GTK_RESPONSE_YES);
            gtk_widget_destroy(GTK_WIDGET(d));
        }),
        holder.release(), [](gpointer data, GClosure*) { std::unique_ptr<SharedPageReply>(static_cast<SharedPageReply*>(data)); },
        static_cast<GConnectFlags>(0));
    gtk_widget_show(dialog);
}

struct SaveAnswer {
    SharedPageReply reply;
    PagePaths& paths;
};

void choose_save_path(GtkWindow* window, const KnownFolders& folders, PagePaths& paths, const std::string& suggested,
                      const std::string& extension, SharedPageReply reply) {
    GtkFileChooserNative* chooser =
        gtk_file_chooser_native_new(nullptr, window, GTK_FILE_CHOOSER_ACTION_SAVE, nullptr, nullptr);
    auto* file_chooser = GTK_FILE_CHOOSER(chooser);
    gtk_file_chooser_set_do_overwrite_confirmation(file_chooser, TRUE);
    if (!folders.documents.empty()) gtk_file_chooser_set_current_folder(file_chooser, folders.documents.c_str());
    gtk_file_chooser_set_current_name(file_chooser, suggested.c_str());
    if (!extension.empty()) {
        GtkFileFilter* filter = gtk_file_filter_new();
        // "PDF", "CSV": a name that reads the same in both languages.
        std::string name = extension;
        for (char& c : name) c = static_cast<char>(g_ascii_toupper(c));
        gtk_file_filter_set_name(filter, name.c_str());
        gtk_file_filter_add_pattern(filter, ("*." + extension).c_str());
        gtk_file_chooser_add_filter(file_chooser, filter);
    }
    auto holder = std::make_unique<SaveAnswer>(SaveAnswer{std::move(reply), paths});
    g_signal_connect_data(
        chooser, "response", G_CALLBACK(+[](GtkNativeDialog* dialog, gint response, gpointer data) {
            auto& answer = *static_cast<SaveAnswer*>(data);
            GCharPtr path(response == GTK_RESPONSE_ACCEPT ? gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(dialog))
                                                          : nullptr);
            if (path) answer.paths.chosen(path.get());
            answer.reply->ok(path ? json(path.get()) : json());
            g_object_unref(dialog);
        }),
        holder.release(), [](gpointer data, GClosure*) { std::unique_ptr<SaveAnswer>(static_cast<SaveAnswer*>(data)); },
        static_cast<GConnectFlags>(0));
    gtk_native_dialog_show(GTK_NATIVE_DIALOG(chooser));
}

}  // namespace

void handle_page_shell(GtkWindow* window, const KnownFolders& folders, PagePaths& paths, const json& message,
                       SharedPageReply reply) {
    try {
        const std::string op = text_field(message, "op");
        if (op == "alert") {
            show_alert(window, text_field(message, "message"));
            reply->ok(nullptr);
        } else if (op == "confirm") {
            ask_confirm(window, text_field(message, "message"), std::move(reply));
        } else if (op == "open_external") {
            const std::string url = text_field(message, "url");
            if (!is_external_scheme(url)) throw std::runtime_error("not an external link: " + url);
            open_with_default_application(url);
            reply->ok(nullptr);
        } else if (op == "save_dialog") {
            choose_save_path(window, folders, paths, text_field(message, "suggested_name"),
                             text_field(message, "extension"), std::move(reply));
        } else if (op == "write_file") {
            const std::string path = text_field(message, "path");
            paths.check(path);
            write_file(path, decode_base64(text_field(message, "data")));
            reply->ok(nullptr);
        } else if (op == "write_document") {
            if (folders.documents.empty()) throw std::runtime_error("the Documents folder is unknown");
            const bool create = message.value("create_folders", false);
            const auto path = write_document(folders.documents, text_field(message, "path"),
                                             decode_base64(text_field(message, "data")), create);
            reply->ok(path.string());
        } else if (op == "open_path") {
            const std::string path = text_field(message, "path");
            paths.check(path);
            GCharPtr uri(g_filename_to_uri(path.c_str(), nullptr, nullptr));
            if (!uri) throw std::runtime_error("not an absolute path");
            open_with_default_application(uri.get());
            reply->ok(nullptr);
        } else {
            throw std::runtime_error("unknown page integration " + op);
        }
    } catch (const std::exception& e) {
        if (reply) reply->fail(e.what());
    }
}

}  // namespace tovik
