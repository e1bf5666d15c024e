// Credential store backend: the Secret Service through libsecret. Entries
// carry service = kSecretService and account = the secret's name, and live in
// the default collection.
#include <libsecret/secret.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <stop_token>
#include <thread>

#include "secrets/secret_store.hpp"

namespace tovik {

namespace {

struct GErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};
struct GObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
struct SecretValueUnref {
    void operator()(SecretValue* value) const { secret_value_unref(value); }
};
struct SecretSchemaUnref {
    void operator()(SecretSchema* schema) const { secret_schema_unref(schema); }
};
using ErrorPtr = std::unique_ptr<GError, GErrorFree>;
using CancellablePtr = std::unique_ptr<GCancellable, GObjectUnref>;
using ValuePtr = std::unique_ptr<SecretValue, SecretValueUnref>;
using SchemaPtr = std::unique_ptr<SecretSchema, SecretSchemaUnref>;

// Cancels the libsecret call it is handed to once the timeout has passed. The
// synchronous calls otherwise wait for as long as the service takes, and a
// locked keyring may wait on a prompt that nobody sees.
class Deadline {
public:
    explicit Deadline(std::chrono::milliseconds timeout)
        : cancellable_(g_cancellable_new()), watchdog_([this, timeout](std::stop_token stop) {
              std::mutex mutex;
              std::condition_variable_any wake;
              std::unique_lock lock(mutex);
              wake.wait_for(lock, stop, timeout, [] { return false; });
              if (stop.stop_requested()) return;
              expired_ = true;
              g_cancellable_cancel(cancellable_.get());
          }) {}

    [[nodiscard]] GCancellable* cancellable() const { return cancellable_.get(); }
    [[nodiscard]] bool expired() const { return expired_; }

private:
    CancellablePtr cancellable_;
    std::atomic<bool> expired_{false};
    std::jthread watchdog_;  // declared last: stopped and joined first
};

class ServiceSecretStore final : public SecretStore {
public:
    explicit ServiceSecretStore(std::chrono::milliseconds answer_timeout)
        : answer_timeout_(answer_timeout),
          schema_(secret_schema_new(kSecretService, SECRET_SCHEMA_DONT_MATCH_NAME, "service",
                                    SECRET_SCHEMA_ATTRIBUTE_STRING, "account", SECRET_SCHEMA_ATTRIBUTE_STRING,
                                    nullptr)) {}

protected:
    std::optional<std::string> do_get(const std::string& name) override {
        Deadline deadline(answer_timeout_);
        GError* error = nullptr;
        ValuePtr value(secret_password_lookup_binary_sync(schema_.get(), deadline.cancellable(), &error, "service",
                                                          kSecretService, "account", name.c_str(), nullptr));
        check(error, deadline);
        if (!value) return std::nullopt;
        gsize length = 0;
        const gchar* data = secret_value_get(value.get(), &length);
        return std::string(data, length);
    }

    void do_set(const std::string& name, const std::string& value) override {
        Deadline deadline(answer_timeout_);
        // Stored with its length, so a value holding NUL characters survives.
        ValuePtr secret(secret_value_new(value.data(), static_cast<gssize>(value.size()), "text/plain"));
        const std::string label = name + "." + kSecretService;
        GError* error = nullptr;
        secret_password_store_binary_sync(schema_.get(), SECRET_COLLECTION_DEFAULT, label.c_str(), secret.get(),
                                          deadline.cancellable(), &error, "service", kSecretService, "account",
                                          name.c_str(), nullptr);
        check(error, deadline);
    }

    void do_remove(const std::string& name) override {
        Deadline deadline(answer_timeout_);
        GError* error = nullptr;
        // FALSE without an error means nothing matched, which is success.
        secret_password_clear_sync(schema_.get(), deadline.cancellable(), &error, "service", kSecretService,
                                   "account", name.c_str(), nullptr);
        check(error, deadline);
    }

private:
    void check(GError* raw, const Deadline& deadline) const {
        const ErrorPtr error(raw);
        if (!error) return;
        if (deadline.expired())
            throw SecretStoreError("the Secret Service did not answer within " +
                                   std::to_string(answer_timeout_.count()) + " ms");
        throw SecretStoreError(error->message);
    }

    std::chrono::milliseconds answer_timeout_;
    SchemaPtr schema_;
};

}  // namespace

std::unique_ptr<SecretStore> make_service_secret_store(std::chrono::milliseconds answer_timeout) {
    return std::make_unique<ServiceSecretStore>(answer_timeout);
}

}  // namespace tovik
