#include "db/page_authorizer.hpp"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace tovik {

namespace {

std::string lowercase(const char* text) {
    std::string out(text ? text : "");
    std::ranges::transform(out, out.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

// key, rekey, hexkey, textkey, hexrekey...; cipher_*; kdf_iter, fast_kdf_iter, rekey_*.
bool is_key_pragma(std::string_view name) {
    return name.ends_with("key") || name.starts_with("cipher") || name.starts_with("rekey") ||
           name.ends_with("kdf_iter");
}

}  // namespace

void PageAuthorizer::install(sqlite3* db) { sqlite3_set_authorizer(db, &PageAuthorizer::decide, this); }

int PageAuthorizer::decide(void* self, int action, const char* arg1, const char* arg2, const char*, const char*) {
    auto& authorizer = *static_cast<PageAuthorizer*>(self);
    switch (action) {
        case SQLITE_ATTACH:
            // VACUUM attaches a temporary database, named by the empty text;
            // a temporary database holds nothing that outlives the statement.
            if (arg1 && *arg1 == '\0') return SQLITE_OK;
            [[fallthrough]];
        case SQLITE_DETACH:
            authorizer.refusal_ = "not authorized: ATTACH and DETACH are reserved to the host";
            return SQLITE_DENY;
        case SQLITE_PRAGMA:
            if (const std::string name = lowercase(arg1); is_key_pragma(name)) {
                authorizer.refusal_ = "not authorized: PRAGMA " + name + " is reserved to the host";
                return SQLITE_DENY;
            }
            return SQLITE_OK;
        case SQLITE_FUNCTION:
            if (const std::string name = lowercase(arg2); name.starts_with("sqlcipher")) {
                authorizer.refusal_ = "not authorized: " + name + " is reserved to the host";
                return SQLITE_DENY;
            }
            return SQLITE_OK;
        default:
            return SQLITE_OK;
    }
}

}  // namespace tovik
