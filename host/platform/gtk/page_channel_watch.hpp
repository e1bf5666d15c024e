#pragma once
#include <glib-unix.h>

#include "platform/gtk/page_channel_frames.hpp"

namespace tovik {

// Writes what the socket takes now and, when it takes no more, has GLib call
// `on_writable` once it does (one watch at a time, kept in `watch`). False
// when the stream is broken: the caller closes its end.
inline bool flush_or_watch(ChannelFrameQueue& out, int fd, guint& watch, GUnixFDSourceFunc on_writable,
                           gpointer data) {
    switch (out.write_to(fd)) {
        case ChannelFrameQueue::Flush::done:
            return true;
        case ChannelFrameQueue::Flush::blocked:
            if (watch == 0) watch = g_unix_fd_add(fd, G_IO_OUT, on_writable, data);
            return true;
        case ChannelFrameQueue::Flush::broken:
            break;
    }
    return false;
}

}  // namespace tovik
