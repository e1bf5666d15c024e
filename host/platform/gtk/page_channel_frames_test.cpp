#include <fcntl.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/gtk/page_channel_frames.hpp"
#include "platform/unique_fd.hpp"

namespace tovik {
namespace {

std::string wire(const std::vector<ChannelFrame>& frames) {
    // The queue's own bytes, taken from a socket pair.
    int ends[2];
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
    UniqueFd writer(ends[0]), reader(ends[1]);
    fcntl(writer.get(), F_SETFL, O_NONBLOCK);
    fcntl(reader.get(), F_SETFL, O_NONBLOCK);
    ChannelFrameQueue queue;
    for (const auto& frame : frames) queue.push(frame.id, frame.text, frame.part);
    std::string bytes;
    char chunk[65536];
    for (;;) {
        const auto state = queue.write_to(writer.get());
        EXPECT_NE(state, ChannelFrameQueue::Flush::broken);
        ssize_t got;
        while ((got = read(reader.get(), chunk, sizeof chunk)) > 0) bytes.append(chunk, static_cast<std::size_t>(got));
        if (state == ChannelFrameQueue::Flush::done && queue.empty()) break;
    }
    return bytes;
}

std::vector<ChannelFrame> read_in_pieces(const std::string& bytes, std::size_t piece) {
    ChannelFrameReader reader(kMaxChannelFrame);
    std::vector<ChannelFrame> frames;
    std::size_t at = 0;
    while (at < bytes.size()) {
        const auto space = reader.space();
        const std::size_t count = std::min({piece, space.size(), bytes.size() - at});
        std::copy_n(bytes.data() + at, count, space.data());
        reader.commit(count);
        at += count;
        while (auto frame = reader.next()) frames.push_back(std::move(*frame));
    }
    return frames;
}

TEST(PageChannelFrames, FramesArriveWholeAndInOrderHoweverTheStreamIsCut) {
    std::string large(3 << 20, 'x');
    for (std::size_t i = 0; i < large.size(); i += 4099) large[i] = static_cast<char>('a' + i % 26);
    const std::vector<ChannelFrame> sent{{1, R"({"cmd":"db_open","args":{}})"},
                                         {2, ""},
                                         {0xffffffffu, large, true},
                                         {0xffffffffu, "[]", true},
                                         {0xffffffffu, R"({"ok":true,"value":[]})"},
                                         {7, "\xd8\xb3\xd9\x84\xd8\xa7\xd9\x85"}};
    const std::string bytes = wire(sent);  // the large frame blocks the socket many times over
    for (const std::size_t piece : {std::size_t{1}, std::size_t{3}, std::size_t{8}, std::size_t{9},
                                    std::size_t{4096}, bytes.size()}) {
        const auto got = read_in_pieces(bytes, piece);
        ASSERT_EQ(got.size(), sent.size()) << "pieces of " << piece;
        for (std::size_t i = 0; i < sent.size(); ++i) {
            EXPECT_EQ(got[i].id, sent[i].id);
            EXPECT_EQ(got[i].part, sent[i].part);
            EXPECT_EQ(got[i].text, sent[i].text) << "frame " << i << ", pieces of " << piece;
        }
    }
}

TEST(PageChannelFrames, ALengthPastTheReadersLimitOrAnUnknownKindIsABrokenStream) {
    const auto commit_header = [](std::uint32_t length, std::uint32_t kind) {
        ChannelFrameReader reader(kMaxChannelRequest);
        const std::uint32_t header[3] = {length, 5, kind};
        const auto space = reader.space();
        std::copy_n(reinterpret_cast<const char*>(header), sizeof header, space.data());
        reader.commit(sizeof header);
    };
    EXPECT_THROW(commit_header(kMaxChannelRequest + 1, 0), std::length_error);
    EXPECT_THROW(commit_header(10, 2), std::invalid_argument);
    EXPECT_NO_THROW(commit_header(10, 1));
}

TEST(PageChannelFrames, AClosedPeerIsBrokenNotASignal) {
    int ends[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
    UniqueFd writer(ends[0]);
    close(ends[1]);
    ChannelFrameQueue queue;
    queue.push(1, "reply");
    EXPECT_EQ(queue.write_to(writer.get()), ChannelFrameQueue::Flush::broken);
    EXPECT_EQ(errno, EPIPE);
}

}  // namespace
}  // namespace tovik
