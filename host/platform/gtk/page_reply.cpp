#include "platform/gtk/page_reply.hpp"

#include "bridge/json_text.hpp"
#include "platform/gtk/gobject_ptr.hpp"

namespace tovik {

PageReply::PageReply(WebKitScriptMessageReply* reply, JSCContext* context)
    : reply_(webkit_script_message_reply_ref(reply)), context_(JSC_CONTEXT(g_object_ref(context))) {}

PageReply::~PageReply() {
    // A page must never wait forever: an unanswered message fails.
    if (!sent_) fail("the host dropped the command");
    webkit_script_message_reply_unref(reply_);
    g_object_unref(context_);
}

// Built around the result's own buffer: a large result is copied within it
// rather than into a fresh one.
std::string ok_envelope(std::string json_text) {
    json_text.insert(0, R"({"ok":true,"value":)");
    json_text += '}';
    return json_text;
}

std::string failure_envelope(const std::string& message) {
    return R"({"ok":false,"error":)" + to_json_text(message) + '}';
}

void PageReply::ok(const nlohmann::json& value) { ok_text(to_json_text(value)); }

void PageReply::ok_text(std::string_view json_text) { send(ok_envelope(std::string(json_text))); }

void PageReply::fail(const std::string& message) { send(failure_envelope(message)); }

void PageReply::send(std::string_view text) {
    if (sent_) return;
    sent_ = true;
    // The envelope travels as JSON text for the page to parse: handing WebKit a
    // JS value instead makes it copy the object tree between processes, which
    // took over a second for a 3 MB result where the text takes milliseconds.
    // From bytes, JavaScriptCore keeps ASCII text as it is; from a C string it
    // first widens the whole text to UTF-16 (tens of milliseconds for 3 MB).
    GBytesPtr bytes(g_bytes_new_static(text.data(), text.size()));
    GObjectPtr<JSCValue> value(jsc_value_new_string_from_bytes(context_, bytes.get()));
    webkit_script_message_reply_return_value(reply_, value.get());
}

}  // namespace tovik
