#pragma once
#include <webkit2/webkit2.h>

#include <memory>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace tovik {

// The texts a page's command promise resolves with: {ok: true, value} around a
// result's JSON text, or {ok: false, error} around a failure's message.
[[nodiscard]] std::string ok_envelope(std::string json_text);
[[nodiscard]] std::string failure_envelope(const std::string& message);

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
    // An envelope already written.
    void send(std::string_view envelope);

private:
    WebKitScriptMessageReply* reply_;
    JSCContext* context_;
    bool sent_ = false;
};

using SharedPageReply = std::shared_ptr<PageReply>;

}  // namespace tovik
