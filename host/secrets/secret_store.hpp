#pragma once
#include <chrono>
#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

namespace tovik {

inline constexpr const char* kSecretService = "com.quillarex.offline";
// The database key's entry: made and read by the host only, never by the page.
inline constexpr const char* kDatabaseKeySecret = "db-key";

// Limits of the credential store, counted in UTF-16 code units as the platform
// stores them. The target name is the secret's name + "." + kSecretService.
inline constexpr std::size_t kMaxSecretNameUnits = 512;
inline constexpr std::size_t kMaxSecretTargetUnits = 32767;
inline constexpr std::size_t kMaxSecretValueUnits = 1280;

// A failure of the credential store; its text is passed to the page unchanged.
class SecretStoreError : public std::runtime_error {
public:
    explicit SecretStoreError(const std::string& message) : std::runtime_error(message) {}
};

// The operating system's credential store, one entry per secret name.
// The public calls enforce the entry limits before any backend sees them, so
// every backend refuses the same names and values.
class SecretStore {
public:
    virtual ~SecretStore() = default;

    // nullopt when there is no entry of that name.
    [[nodiscard]] std::optional<std::string> get(const std::string& name);
    // Creates or replaces the entry.
    void set(const std::string& name, const std::string& value);
    // Removing an absent entry succeeds.
    void remove(const std::string& name);

protected:
    virtual std::optional<std::string> do_get(const std::string& name) = 0;
    virtual void do_set(const std::string& name, const std::string& value) = 0;
    virtual void do_remove(const std::string& name) = 0;
};

// Secret Service (libsecret) entries: service kSecretService, account = name.
// A call that gets no answer within answer_timeout fails instead of blocking
// the window thread (a hung service, an unlock prompt nobody sees).
[[nodiscard]] std::unique_ptr<SecretStore> make_service_secret_store(
    std::chrono::milliseconds answer_timeout = std::chrono::seconds(20));
// A 0600 JSON file, for development and tests only.
[[nodiscard]] std::unique_ptr<SecretStore> make_file_secret_store(std::filesystem::path file);

}  // namespace tovik
