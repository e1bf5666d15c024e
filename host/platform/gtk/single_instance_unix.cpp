#include "platform/single_instance.hpp"

#include <glib-unix.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <fcntl.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <thread>

#include <nlohmann/json.hpp>

#include "platform/unique_fd.hpp"

namespace tovik {

namespace {

namespace fs = std::filesystem;

std::runtime_error system_error(const std::string& what) {
    return std::runtime_error(what + ": " + std::strerror(errno));
}

sockaddr_un socket_address(const fs::path& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string text = path.string();
    if (text.size() >= sizeof address.sun_path) throw std::runtime_error("runtime folder path too long: " + text);
    std::memcpy(address.sun_path, text.c_str(), text.size() + 1);
    return address;
}

bool hand_over(const fs::path& socket_path, const std::string& message) {
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd) return false;
    const auto address = socket_address(socket_path);
    if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) return false;
    std::size_t sent = 0;
    while (sent < message.size()) {
        const ssize_t n = ::send(fd.get(), message.data() + sent, message.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

class UnixSingleInstance final : public SingleInstance {
public:
    UnixSingleInstance(UniqueFd lock, UniqueFd listener, fs::path socket_path)
        : lock_(std::move(lock)), listener_(std::move(listener)), socket_path_(std::move(socket_path)) {}

    ~UnixSingleInstance() override {
        if (source_) g_source_remove(source_);
        std::error_code ignored;
        fs::remove(socket_path_, ignored);
    }

    void listen(std::function<void()> on_activate) override {
        on_activate_ = std::move(on_activate);
        source_ = g_unix_fd_add(listener_.get(), G_IO_IN, &UnixSingleInstance::on_ready, this);
    }

private:
    static gboolean on_ready(gint, GIOCondition, gpointer self_pointer) {
        auto* self = static_cast<UnixSingleInstance*>(self_pointer);
        UniqueFd peer(::accept4(self->listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (!peer) return G_SOURCE_CONTINUE;
        // The peer writes its command line at once and closes; the arguments are
        // read to keep the protocol honest but not used.
        timeval timeout{1, 0};
        ::setsockopt(peer.get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        char buffer[4096];
        while (::recv(peer.get(), buffer, sizeof buffer, 0) > 0) {
        }
        if (self->on_activate_) self->on_activate_();
        return G_SOURCE_CONTINUE;
    }

    UniqueFd lock_;
    UniqueFd listener_;
    fs::path socket_path_;
    std::function<void()> on_activate_;
    guint source_ = 0;
};

}  // namespace

std::unique_ptr<SingleInstance> SingleInstance::acquire(const fs::path& folder, const std::vector<std::string>& args) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) throw std::runtime_error(folder.string() + ": " + ec.message());
    ::chmod(folder.c_str(), 0700);
    const fs::path lock_path = folder / "instance.lock";
    const fs::path socket_path = folder / "instance.sock";

    UniqueFd lock(::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!lock) throw system_error(lock_path.string());

    if (::flock(lock.get(), LOCK_EX | LOCK_NB) == 0) {
        fs::remove(socket_path, ec);  // left by an instance that crashed
        UniqueFd listener(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
        if (!listener) throw system_error("instance socket");
        const auto address = socket_address(socket_path);
        if (::bind(listener.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(listener.get(), 8) != 0)
            throw system_error(socket_path.string());
        return std::make_unique<UnixSingleInstance>(std::move(lock), std::move(listener), socket_path);
    }
    if (errno != EWOULDBLOCK) throw system_error(lock_path.string());

    nlohmann::json message = {{"args", args}, {"cwd", fs::current_path(ec).string()}};
    const std::string text = message.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    // The running instance may still be starting and not listen yet: try for a few seconds.
    for (int attempt = 0; attempt < 50; ++attempt) {
        if (hand_over(socket_path, text)) return nullptr;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    throw std::runtime_error("another instance is running but does not answer");
}

}  // namespace tovik
