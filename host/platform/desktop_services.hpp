#pragma once
#include <string>

namespace tovik {

// A system notification. Best effort: a missing notification service is
// reported on stderr and never blocks the caller.
void show_notification(const std::string& title, const std::string& body);

// Opens a URI (or a file:// URI) with the system's default handler. Best
// effort, asynchronous; failures are reported on stderr.
void open_with_default_application(const std::string& uri);

}  // namespace tovik
