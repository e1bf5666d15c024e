#include "platform/gtk/page_channel_frames.hpp"

#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace tovik {

namespace {

constexpr std::size_t kHeader = 12;
constexpr std::uint32_t kReplyKind = 0;
constexpr std::uint32_t kPartKind = 1;
constexpr std::size_t kFramesPerWrite = 16;

[[noreturn]] void too_long() { throw std::length_error("a page channel frame past 1 GiB"); }

}  // namespace

std::span<char> ChannelFrameReader::space() {
    if (header_have_ < kHeader) return {header_ + header_have_, kHeader - header_have_};
    return {body_.text.data() + body_have_, body_.text.size() - body_have_};
}

void ChannelFrameReader::commit(std::size_t count) {
    if (header_have_ < kHeader) {
        header_have_ += count;
        if (header_have_ < kHeader) return;
        std::uint32_t length;
        std::memcpy(&length, header_, 4);
        std::uint32_t kind;
        std::memcpy(&body_.id, header_ + 4, 4);
        std::memcpy(&kind, header_ + 8, 4);
        if (length > max_frame_)
            throw std::length_error("a page channel frame of " + std::to_string(length) + " bytes, past its limit");
        if (kind != kReplyKind && kind != kPartKind)
            throw std::invalid_argument("a page channel frame of unknown kind " + std::to_string(kind));
        body_.part = kind == kPartKind;
        body_.text.assign(length, '\0');
        body_have_ = 0;
    } else {
        body_have_ += count;
    }
    if (body_have_ < body_.text.size()) return;
    ready_.push_back(std::move(body_));
    body_ = {};
    header_have_ = 0;
}

std::optional<ChannelFrame> ChannelFrameReader::next() {
    if (ready_.empty()) return std::nullopt;
    ChannelFrame frame = std::move(ready_.front());
    ready_.pop_front();
    return frame;
}

void ChannelFrameQueue::push(std::uint32_t id, std::string text, bool part) {
    if (text.size() > kMaxChannelFrame) too_long();
    const auto length = static_cast<std::uint32_t>(text.size());
    const std::uint32_t kind = part ? kPartKind : kReplyKind;
    Pending& frame = frames_.emplace_back();
    std::memcpy(frame.header, &length, 4);
    std::memcpy(frame.header + 4, &id, 4);
    std::memcpy(frame.header + 8, &kind, 4);
    frame.text = std::move(text);
}

ChannelFrameQueue::Flush ChannelFrameQueue::write_to(int fd) {
    while (!frames_.empty()) {
        std::array<iovec, 2 * kFramesPerWrite> pieces{};
        std::size_t used = 0;
        std::size_t skip = front_done_;
        for (auto frame = frames_.begin(); frame != frames_.end() && used + 2 <= pieces.size(); ++frame) {
            if (skip < kHeader) pieces[used++] = {frame->header + skip, kHeader - skip};
            const std::size_t text_done = skip > kHeader ? skip - kHeader : 0;
            if (text_done < frame->text.size())
                pieces[used++] = {frame->text.data() + text_done, frame->text.size() - text_done};
            skip = 0;
        }
        msghdr message{};
        message.msg_iov = pieces.data();
        message.msg_iovlen = used;
        // Not SIGPIPE: a web process that ended must not end the host with it.
        const ssize_t put = ::sendmsg(fd, &message, MSG_NOSIGNAL);
        if (put < 0) {
            if (errno == EINTR) continue;
            return errno == EAGAIN || errno == EWOULDBLOCK ? Flush::blocked : Flush::broken;
        }
        auto left = static_cast<std::size_t>(put);
        while (left > 0) {
            const std::size_t rest = kHeader + frames_.front().text.size() - front_done_;
            const std::size_t taken = std::min(left, rest);
            front_done_ += taken;
            left -= taken;
            if (front_done_ == kHeader + frames_.front().text.size()) {
                frames_.pop_front();
                front_done_ = 0;
            }
        }
    }
    return Flush::done;
}

void ChannelFrameQueue::clear() {
    frames_.clear();
    front_done_ = 0;
}

}  // namespace tovik
