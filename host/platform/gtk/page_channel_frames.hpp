#pragma once
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>

namespace tovik {

// The page channel's framing, shared by the host and its web-process module:
// each frame is a 4-byte length, a 4-byte call id, a 4-byte kind (all in this
// machine's byte order: the two ends are processes of one program) and that
// many bytes of JSON text. A request carries {cmd, args}; its reply, under the
// same id, the page's envelope. Before the reply may come parts of a list
// result (a JSON array of its leading rows each). Frames are read into and written from their own strings, so
// a result of megabytes is not copied through a stream buffer on either side.
// The user message by which the module asks the host for its end of the socket.
inline constexpr const char* kChannelOpenMessage = "tovik-page-channel";

struct ChannelFrame {
    std::uint32_t id;
    std::string text;
    bool part = false;  // leading rows of the reply still to come
};

// Past this a length can only be a broken stream (a select's result is refused
// well before it).
inline constexpr std::uint32_t kMaxChannelFrame = 1u << 30;
// The most a page's request may hold, as for serve mode's request bodies.
inline constexpr std::uint32_t kMaxChannelRequest = 64u << 20;

// Takes a stream's bytes in and hands back whole frames in order.
class ChannelFrameReader {
public:
    explicit ChannelFrameReader(std::uint32_t max_frame) : max_frame_(max_frame) {}

    // Where the stream's next bytes go; never empty.
    [[nodiscard]] std::span<char> space();
    // `count` bytes were put at the start of space(). Throws std::length_error
    // for a frame that announces more than the reader's maximum, and
    // std::invalid_argument for a kind it does not know.
    void commit(std::size_t count);
    [[nodiscard]] std::optional<ChannelFrame> next();

private:
    std::uint32_t max_frame_;
    char header_[12] = {};
    std::size_t header_have_ = 0;
    ChannelFrame body_{};
    std::size_t body_have_ = 0;
    std::deque<ChannelFrame> ready_;
};

// Frames waiting for a non-blocking stream socket to take them.
class ChannelFrameQueue {
public:
    // Throws std::length_error for a text past kMaxChannelFrame.
    void push(std::uint32_t id, std::string text, bool part = false);
    enum class Flush { done, blocked, broken };
    // Writes what the socket `fd` takes now; `broken` leaves errno set.
    Flush write_to(int fd);
    [[nodiscard]] bool empty() const { return frames_.empty(); }
    void clear();

private:
    struct Pending {
        char header[12];
        std::string text;
    };
    std::deque<Pending> frames_;
    std::size_t front_done_ = 0;  // bytes of the front frame (header, then text) written
};

}  // namespace tovik
