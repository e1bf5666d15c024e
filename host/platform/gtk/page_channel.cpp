#include "platform/gtk/page_channel.hpp"

#include <fcntl.h>
#include <gio/gunixfdlist.h>
#include <glib-unix.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/gtk/gobject_ptr.hpp"
#include "platform/gtk/page_channel_frames.hpp"
#include "platform/gtk/page_channel_watch.hpp"
#include "platform/unique_fd.hpp"

namespace tovik {

namespace {

// The module sits beside the program, so a build tree and an installed copy
// each load their own.
std::filesystem::path module_directory() {
    std::error_code error;
    const auto program = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path() : program.parent_path() / "web-extensions";
}

}  // namespace

class PageChannels::Connection : public std::enable_shared_from_this<Connection> {
public:
    Connection(PageChannels& owner, UniqueFd fd) : owner_(owner), fd_(std::move(fd)) {
        read_watch_ = g_unix_fd_add(fd_.get(), GIOCondition(G_IO_IN | G_IO_HUP | G_IO_ERR), on_readable, this);
    }
    ~Connection() { stop_watching(); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

private:
    static gboolean on_readable(gint, GIOCondition, gpointer data) {
        auto self = static_cast<Connection*>(data)->shared_from_this();
        return self->read_all() ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
    }

    static gboolean on_writable(gint, GIOCondition, gpointer data) {
        auto self = static_cast<Connection*>(data)->shared_from_this();
        self->flush();
        if (self->fd_ && !self->out_.empty()) return G_SOURCE_CONTINUE;
        self->write_watch_ = 0;
        return G_SOURCE_REMOVE;
    }

    // False once the connection is closed (its read watch is then gone).
    bool read_all() {
        for (;;) {
            const std::span<char> space = reader_.space();
            const ssize_t got = ::read(fd_.get(), space.data(), space.size());
            if (got > 0) {
                try {
                    reader_.commit(static_cast<std::size_t>(got));
                    while (auto frame = reader_.next()) run(*frame);
                } catch (const std::exception& e) {
                    std::fprintf(stderr, "tovik: page channel closed: %s\n", e.what());
                    return close();
                }
                if (!fd_) return false;
                continue;
            }
            if (got < 0 && errno == EINTR) continue;
            if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
            return close();  // the web process ended or the stream broke
        }
    }

    void run(ChannelFrame& frame) {
        std::weak_ptr<Connection> line = weak_from_this();
        const std::uint32_t id = frame.id;
        owner_.handler_(
            std::move(frame.text),
            [line, id](std::string envelope) {
                if (auto self = line.lock()) self->send(id, std::move(envelope), false);
            },
            // Written at once: the page parses a part while the next is read.
            [line, id](std::string rows) {
                if (auto self = line.lock()) self->send(id, std::move(rows), true);
            });
    }

    void send(std::uint32_t id, std::string text, bool part) {
        if (!fd_) return;
        try {
            out_.push(id, std::move(text), part);
        } catch (const std::exception& e) {
            // Cannot happen for a select (refused far below), but a reply the
            // page would wait for forever is worse than a closed channel.
            std::fprintf(stderr, "tovik: page channel closed: %s\n", e.what());
            close();
            return;
        }
        flush();
    }

    void flush() {
        if (!fd_) return;
        if (!flush_or_watch(out_, fd_.get(), write_watch_, on_writable, this)) close();
    }

    bool close() {
        stop_watching();
        fd_.reset();
        out_.clear();
        owner_.forget(this);
        return false;
    }

    void stop_watching() {
        if (read_watch_ != 0) g_source_remove(std::exchange(read_watch_, 0));
        if (write_watch_ != 0) g_source_remove(std::exchange(write_watch_, 0));
    }

    PageChannels& owner_;
    UniqueFd fd_;
    guint read_watch_ = 0;
    guint write_watch_ = 0;
    ChannelFrameReader reader_{kMaxChannelRequest};
    ChannelFrameQueue out_;
};

PageChannels::PageChannels(ChannelHandler handler) : handler_(std::move(handler)) {}

PageChannels::~PageChannels() = default;

void PageChannels::attach(WebKitWebContext* context, const char* page_origin, std::filesystem::path modules) {
    const auto directory = modules.empty() ? module_directory() : std::move(modules);
    if (directory.empty()) return;  // the page keeps WebKit's script messages
    webkit_web_context_set_web_extensions_directory(context, directory.c_str());
    webkit_web_context_set_web_extensions_initialization_user_data(context, g_variant_new_string(page_origin));
    g_signal_connect(context, "user-message-received", G_CALLBACK(on_user_message), this);
}

gboolean PageChannels::on_user_message(WebKitWebContext*, WebKitUserMessage* message, gpointer self) {
    if (g_strcmp0(webkit_user_message_get_name(message), kChannelOpenMessage) != 0) return FALSE;
    static_cast<PageChannels*>(self)->open(message);
    return TRUE;
}

void PageChannels::open(WebKitUserMessage* message) {
    // A reply without a socket: the module then fails the page's calls with a
    // message rather than leaving them waiting.
    const auto refuse = [message](const char* why) {
        std::fprintf(stderr, "tovik: page channel: %s\n", why);
        webkit_user_message_send_reply(message, webkit_user_message_new(kChannelOpenMessage, nullptr));
    };
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return refuse(std::strerror(errno));
    UniqueFd ours(ends[0]);
    UniqueFd theirs(ends[1]);
    const int flags = fcntl(ours.get(), F_GETFL);
    if (flags < 0 || fcntl(ours.get(), F_SETFL, flags | O_NONBLOCK) < 0) return refuse(std::strerror(errno));
    // A large result then crosses in a few steps rather than one per 200 KB
    // (the system caps the size; this is a wish).
    const int buffer = 4 << 20;
    setsockopt(ours.get(), SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
    // The list holds its own duplicate; ours closes when `theirs` goes.
    GObjectPtr<GUnixFDList> fds(g_unix_fd_list_new());
    if (g_unix_fd_list_append(fds.get(), theirs.get(), nullptr) < 0) return refuse("cannot pass the socket");
    connections_.push_back(std::make_shared<Connection>(*this, std::move(ours)));
    webkit_user_message_send_reply(message, webkit_user_message_new_with_fd_list(kChannelOpenMessage, nullptr, fds.get()));
}

void PageChannels::forget(const Connection* closed) {
    std::erase_if(connections_, [closed](const auto& connection) { return connection.get() == closed; });
}

}  // namespace tovik
