#include "printing/tcp_socket.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tovik {

namespace {

using std::chrono::milliseconds;

int wait_ms(milliseconds limit, Clock::time_point deadline) {
    // Rounded up: a wait truncated to 0 ms would time out before the deadline it stands for.
    const auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::max<milliseconds::rep>(0, std::min(limit, left).count()));
}

// Waits for `events`; 0 when ready, else an errno value (ETIMEDOUT when time ran out).
int wait_for(int fd, short events, milliseconds limit, Clock::time_point deadline) {
    for (;;) {
        pollfd entry{fd, events, 0};
        const int ready = ::poll(&entry, 1, wait_ms(limit, deadline));
        if (ready > 0) return 0;
        if (ready == 0) return ETIMEDOUT;
        if (errno != EINTR) return errno;
    }
}

}  // namespace

std::variant<UniqueFd, std::string> connect_within(const IpEndpoint& endpoint, milliseconds timeout,
                                                    Clock::time_point deadline) {
    UniqueFd socket(::socket(endpoint.family(), SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!socket) return std::string(std::strerror(errno));
    if (::connect(socket.get(), endpoint.sockaddr_ptr(), endpoint.length) == 0) return socket;
    if (errno != EINPROGRESS) return std::string(std::strerror(errno));

    if (const int waited = wait_for(socket.get(), POLLOUT, timeout, deadline); waited != 0)
        return std::string(std::strerror(waited));
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(socket.get(), SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
    if (error != 0) return std::string(std::strerror(error));
    return socket;
}

std::string send_all(const UniqueFd& socket, std::span<const std::uint8_t> bytes, milliseconds stall_timeout,
                     Clock::time_point deadline) {
    while (!bytes.empty()) {
        const ssize_t sent = ::send(socket.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent > 0) {
            bytes = bytes.subspan(static_cast<std::size_t>(sent));
            continue;
        }
        if (sent < 0 && errno == EINTR) continue;
        if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return std::strerror(errno);
        if (Clock::now() >= deadline) return "the job took too long";
        const bool bounded_by_deadline = deadline - Clock::now() <= stall_timeout;
        if (const int waited = wait_for(socket.get(), POLLOUT, stall_timeout, deadline); waited != 0) {
            if (waited == ETIMEDOUT && bounded_by_deadline) return "the job took too long";
            return std::strerror(waited);
        }
    }
    return {};
}

}  // namespace tovik
