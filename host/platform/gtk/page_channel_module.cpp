// The web-process half of the page channel (see page_channel.hpp): WebKit
// loads this module into each web process it starts. It asks the host for its
// end of the socket, gives the application page's main frame a `tovikChannel`
// object, and carries the page's requests and the host's replies as frames.
//
// Page side:
//   tovikChannel.post(id, text)          sends one request ({cmd, args} JSON text)
//   tovikChannel.onpart = (id, text)     receives leading rows of a list result
//                                        (JSON array text), before its reply
//   tovikChannel.onreply = (id, text)    receives its reply (the envelope text)
#include <fcntl.h>
#include <gio/gunixfdlist.h>
#include <glib-unix.h>
#include <unistd.h>
#include <webkit2/webkit-web-extension.h>

#include <cerrno>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>

#include "platform/gtk/gobject_ptr.hpp"
#include "platform/gtk/page_channel_frames.hpp"
#include "platform/gtk/page_channel_watch.hpp"
#include "platform/unique_fd.hpp"

namespace tovik {

namespace {


std::string failure_envelope(std::string_view message) {
    return std::string(R"({"ok":false,"error":")") + std::string(message) + "\"}";
}

class ModuleChannel {
public:
    ModuleChannel(WebKitWebExtension* extension, std::string origin) : origin_prefix_(std::move(origin) + "/") {
        g_signal_connect(webkit_script_world_get_default(), "window-object-cleared", G_CALLBACK(on_window_cleared),
                         this);
        webkit_web_extension_send_message_to_context(extension, webkit_user_message_new(kChannelOpenMessage, nullptr),
                                                     nullptr, on_opened, this);
    }
    ModuleChannel(const ModuleChannel&) = delete;
    ModuleChannel& operator=(const ModuleChannel&) = delete;

private:
    static void on_window_cleared(WebKitScriptWorld* world, WebKitWebPage*, WebKitFrame* frame, gpointer data) {
        auto& self = *static_cast<ModuleChannel*>(data);
        const char* uri = webkit_frame_get_uri(frame);
        if (!webkit_frame_is_main_frame(frame) || !uri || !g_str_has_prefix(uri, self.origin_prefix_.c_str())) return;
        self.give_to(GObjectPtr<JSCContext>(webkit_frame_get_js_context_for_script_world(frame, world)));
    }

    void give_to(GObjectPtr<JSCContext> context) {
        // A reloaded page numbers its calls from 1 again: what the last page
        // still waits for must not reach it.
        ++page_load_;
        context_ = std::move(context);
        GObjectPtr<JSCValue> post(jsc_value_new_function(context_.get(), "post", G_CALLBACK(on_post), this, nullptr,
                                                         G_TYPE_NONE, 2, G_TYPE_UINT, JSC_TYPE_VALUE));
        page_object_.reset(jsc_value_new_object(context_.get(), nullptr, nullptr));
        jsc_value_object_set_property(page_object_.get(), "post", post.get());
        jsc_context_set_value(context_.get(), "tovikChannel", page_object_.get());
    }

    static void on_post(guint id, JSCValue* text, gpointer data) {
        auto& self = *static_cast<ModuleChannel*>(data);
        if (!jsc_value_is_string(text)) {
            self.deliver(id, failure_envelope("a page channel request is text"));
            return;
        }
        if (self.broken_) {
            self.deliver(id, failure_envelope("the host's page channel is closed"));
            return;
        }
        GBytesPtr bytes(jsc_value_to_string_as_bytes(text));
        gsize size = 0;
        const auto* utf8 = static_cast<const char*>(g_bytes_get_data(bytes.get(), &size));
        if (size > kMaxChannelRequest) {
            self.deliver(id, failure_envelope("the command message is too large (over 64 MB)"));
            return;
        }
        const std::uint32_t wire_id = ++self.last_wire_id_;
        self.waiting_[wire_id] = {id, self.page_load_, false};
        self.out_.push(wire_id, std::string(utf8, size));
        self.flush();
    }

    static void on_opened(GObject* source, GAsyncResult* result, gpointer data) {
        auto& self = *static_cast<ModuleChannel*>(data);
        GObjectPtr<WebKitUserMessage> reply(webkit_web_extension_send_message_to_context_finish(
            WEBKIT_WEB_EXTENSION(source), result, nullptr));
        GUnixFDList* fds = reply ? webkit_user_message_get_fd_list(reply.get()) : nullptr;
        UniqueFd fd(fds && g_unix_fd_list_get_length(fds) == 1 ? g_unix_fd_list_get(fds, 0, nullptr) : -1);
        const int flags = fd ? fcntl(fd.get(), F_GETFL) : -1;
        if (flags < 0 || fcntl(fd.get(), F_SETFL, flags | O_NONBLOCK) < 0) return self.break_off();
        self.fd_ = std::move(fd);
        self.read_watch_ =
            g_unix_fd_add(self.fd_.get(), GIOCondition(G_IO_IN | G_IO_HUP | G_IO_ERR), on_readable, &self);
        self.flush();
    }

    static gboolean on_readable(gint, GIOCondition, gpointer data) {
        auto& self = *static_cast<ModuleChannel*>(data);
        for (;;) {
            const std::span<char> space = self.reader_.space();
            const ssize_t got = ::read(self.fd_.get(), space.data(), space.size());
            if (got > 0) {
                try {
                    self.reader_.commit(static_cast<std::size_t>(got));
                    while (auto frame = self.reader_.next()) self.answer(*frame);
                } catch (const std::exception&) {
                    self.break_off();
                    return G_SOURCE_REMOVE;
                }
                if (!self.fd_) return G_SOURCE_REMOVE;
                continue;
            }
            if (got < 0 && errno == EINTR) continue;
            if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return G_SOURCE_CONTINUE;
            self.break_off();
            return G_SOURCE_REMOVE;
        }
    }

    static gboolean on_writable(gint, GIOCondition, gpointer data) {
        auto& self = *static_cast<ModuleChannel*>(data);
        self.flush();
        if (self.fd_ && !self.out_.empty()) return G_SOURCE_CONTINUE;
        self.write_watch_ = 0;
        return G_SOURCE_REMOVE;
    }

    void answer(const ChannelFrame& frame) {
        const auto call = waiting_.find(frame.id);
        if (call == waiting_.end()) return;
        Waiting& waiting = call->second;
        if (waiting.page_load != page_load_) {
            if (!frame.part) waiting_.erase(call);
            return;
        }
        if (frame.part) {
            // A page that cannot take parts would see only the last rows.
            if (!deliver(waiting.page_id, frame.text, "onpart")) waiting.parts_lost = true;
            return;
        }
        const Waiting done = waiting;
        waiting_.erase(call);
        if (done.parts_lost) deliver(done.page_id, failure_envelope("the page cannot take a result in parts"));
        else deliver(done.page_id, frame.text);
    }

    // Hands a reply or a part to the page's function `to`; false when it has
    // none. From bytes, JavaScriptCore keeps ASCII text as it is instead of
    // widening it to UTF-16 first.
    bool deliver(guint id, const std::string& text, const char* to = "onreply") {
        if (!page_object_) return false;
        GObjectPtr<JSCValue> receiver(jsc_value_object_get_property(page_object_.get(), to));
        if (!jsc_value_is_function(receiver.get())) return false;
        // The string is copied out of the bytes before this returns.
        GBytesPtr bytes(g_bytes_new_static(text.data(), text.size()));
        GObjectPtr<JSCValue> value(jsc_value_new_string_from_bytes(context_.get(), bytes.get()));
        GObjectPtr<JSCValue> result(
            jsc_value_function_call(receiver.get(), G_TYPE_UINT, id, JSC_TYPE_VALUE, value.get(), G_TYPE_NONE));
        jsc_context_clear_exception(context_.get());
        return true;
    }

    void flush() {
        if (!fd_) return;  // queued until the host's end arrives
        if (!flush_or_watch(out_, fd_.get(), write_watch_, on_writable, this)) break_off();
    }

    // The host is gone or never answered: every waiting request fails, and so
    // does every later one, so no page promise waits forever.
    void break_off() {
        broken_ = true;
        if (read_watch_ != 0) g_source_remove(std::exchange(read_watch_, 0));
        if (write_watch_ != 0) g_source_remove(std::exchange(write_watch_, 0));
        fd_.reset();
        out_.clear();
        for (const auto& [wire_id, call] : std::exchange(waiting_, {}))
            if (call.page_load == page_load_) deliver(call.page_id, failure_envelope("the host's page channel is closed"));
    }

    std::string origin_prefix_;
    GObjectPtr<JSCContext> context_;
    GObjectPtr<JSCValue> page_object_;
    UniqueFd fd_;
    bool broken_ = false;
    guint read_watch_ = 0;
    guint write_watch_ = 0;
    ChannelFrameReader reader_{kMaxChannelFrame};
    ChannelFrameQueue out_;
    struct Waiting {
        guint page_id;
        unsigned page_load;
        bool parts_lost;
    };
    // By the id on the wire, which this module gives: page ids repeat across loads.
    std::unordered_map<std::uint32_t, Waiting> waiting_;
    std::uint32_t last_wire_id_ = 0;
    unsigned page_load_ = 0;
};

// The web process's one channel; WebKit never unloads the module.
std::optional<ModuleChannel> channel;

}  // namespace

}  // namespace tovik

extern "C" G_MODULE_EXPORT void webkit_web_extension_initialize_with_user_data(WebKitWebExtension* extension,
                                                                               const GVariant* data) {
    const char* origin = data && g_variant_is_of_type(const_cast<GVariant*>(data), G_VARIANT_TYPE_STRING)
                             ? g_variant_get_string(const_cast<GVariant*>(data), nullptr)
                             : nullptr;
    if (origin) tovik::channel.emplace(extension, origin);
}
