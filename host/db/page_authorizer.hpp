#pragma once
#include <sqlite3.h>

#include <string>

namespace tovik {

// Keeps the page's statements away from what only the host may do with the
// database: attaching other files (an unencrypted copy could be written
// anywhere), the key and cipher pragmas, and SQLCipher's export function.
// Everything else, schema changes and ordinary pragmas included, is allowed.
// Installed after the host has keyed the connection; it must outlive it.
class PageAuthorizer {
public:
    void install(sqlite3* db);

    // The message for a statement that failed with SQLITE_AUTH.
    [[nodiscard]] const std::string& refusal() const { return refusal_; }

private:
    static int decide(void* self, int action, const char* arg1, const char* arg2, const char*, const char*);

    std::string refusal_;
};

}  // namespace tovik
