#pragma once
#include <webkit2/webkit2.h>

#include <memory>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace tovik {

// The pending answer to one script message. The page's promise resolves with
// the JSON text of {ok: true, value} or {ok: false, error}; the envelope keeps
// a failure's message a plain string on the page side. Sends at most once.
class PageReply {
public:
    PageReply(WebKitScriptMessageReply* reply, JSCContext* context);
    ~PageReply();
    PageReply(const PageReply&) = delete;
    PageReply& operator=(const PageReply&) = delete;

    void ok(const nlohmann::json& value);
    // The result as JSON text already written.
    void ok_text(std::string_view json_text);
    void fail(const std::string& message);

private:
    void send(std::string_view head, std::string_view body);

    WebKitScriptMessageReply* reply_;
    JSCContext* context_;
    bool sent_ = false;
};

using SharedPageReply = std::shared_ptr<PageReply>;

}  // namespace tovik
