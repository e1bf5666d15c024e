#include "secrets/secret_store.hpp"

#include <string>

#include "bridge/utf8.hpp"

namespace tovik {

namespace {

constexpr std::size_t kServiceUnits = std::char_traits<char>::length(kSecretService);
// The longest allowed name always makes a target name within its limit, so
// checking the name is enough.
static_assert(kMaxSecretNameUnits + 1 + kServiceUnits <= kMaxSecretTargetUnits);

void check_name(const std::string& name) {
    const auto units = utf16_length(name);
    if (!units) throw SecretStoreError("secret name is not valid UTF-8");
    // Backends take names as C strings: an embedded NUL would silently address
    // another entry.
    if (name.find('\0') != std::string::npos) throw SecretStoreError("secret name contains a NUL character");
    if (*units > kMaxSecretNameUnits)
        throw SecretStoreError("secret name is longer than " + std::to_string(kMaxSecretNameUnits) + " characters");
}

void check_value(const std::string& value) {
    const auto units = utf16_length(value);
    if (!units) throw SecretStoreError("secret value is not valid UTF-8");
    if (*units > kMaxSecretValueUnits)
        throw SecretStoreError("secret value is longer than " + std::to_string(kMaxSecretValueUnits) +
                               " UTF-16 code units (" + std::to_string(*units) + ")");
}

}  // namespace

std::optional<std::string> SecretStore::get(const std::string& name) {
    check_name(name);
    auto value = do_get(name);
    // Another program may have written the entry; the page only takes text.
    if (value && !utf16_length(*value)) throw SecretStoreError("stored secret " + name + " is not valid UTF-8");
    return value;
}

void SecretStore::set(const std::string& name, const std::string& value) {
    check_name(name);
    check_value(value);
    do_set(name, value);
}

void SecretStore::remove(const std::string& name) {
    check_name(name);
    do_remove(name);
}

}  // namespace tovik
