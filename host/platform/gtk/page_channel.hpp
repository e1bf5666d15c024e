#pragma once
#include <webkit2/webkit2.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tovik {

// Answers one request with the page's envelope text; the first call counts.
using ChannelRespond = std::function<void(std::string envelope)>;
// Sends a part of a list result ahead of its reply (see PartFn).
using ChannelPart = std::function<void(std::string rows)>;
// Runs one request (the {cmd, args} JSON text) and answers it through `respond`,
// a list result perhaps in parts through `part` first.
using ChannelHandler = std::function<void(std::string request, ChannelRespond respond, ChannelPart part)>;

// The page's own line to the host. The web-process module asks the context for
// it with a user message; the reply hands over one end of a socket pair, and
// from then on requests and replies travel as frames on that socket. WebKit's
// script messages cross the UI process's IPC and object conversions both ways
// (about 150 µs for an empty round trip, far more per megabyte); a socket
// between the two processes costs a fraction of that. One connection per web
// process; a web process that ends closes its connection, and its unanswered
// requests are dropped with it.
class PageChannels {
public:
    explicit PageChannels(ChannelHandler handler);
    ~PageChannels();
    PageChannels(const PageChannels&) = delete;
    PageChannels& operator=(const PageChannels&) = delete;

    // Has WebKit load the module from `modules` (empty: web-extensions/ beside
    // the program), listens for its request and tells it where the page lives
    // (only that origin's main frame gets the channel).
    void attach(WebKitWebContext* context, const char* page_origin, std::filesystem::path modules);

private:
    class Connection;
    static gboolean on_user_message(WebKitWebContext*, WebKitUserMessage* message, gpointer self);
    void open(WebKitUserMessage* message);
    void forget(const Connection* closed);

    ChannelHandler handler_;
    std::vector<std::shared_ptr<Connection>> connections_;
};

}  // namespace tovik
