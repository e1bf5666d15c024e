// Credential store backend: one JSON object {name: value} in a 0600 file.
// For development and tests only; the desktop uses the Secret Service.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <system_error>
#include <utility>

#include <nlohmann/json.hpp>

#include "secrets/secret_store.hpp"

namespace tovik {

namespace {

namespace fs = std::filesystem;
using Entries = nlohmann::json::object_t;

class UniqueFd {
public:
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() {
        if (fd_ >= 0) ::close(fd_);
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    [[nodiscard]] int get() const { return fd_; }
    // Closes now so that a failing close (delayed write errors) is seen.
    [[nodiscard]] int close() { return ::close(std::exchange(fd_, -1)); }

private:
    int fd_;
};

[[noreturn]] void fail(const std::string& what, const fs::path& path, int error) {
    throw SecretStoreError(what + " " + path.string() + ": " + std::generic_category().message(error));
}

// Removes the temporary file unless it was renamed into place.
class TempFileGuard {
public:
    explicit TempFileGuard(std::string path) : path_(std::move(path)) {}
    ~TempFileGuard() {
        if (!path_.empty()) ::unlink(path_.c_str());
    }
    TempFileGuard(const TempFileGuard&) = delete;
    TempFileGuard& operator=(const TempFileGuard&) = delete;
    void release() { path_.clear(); }

private:
    std::string path_;
};

void write_all(int fd, const std::string& text, const fs::path& path) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            fail("cannot write the secret file", path, errno);
        }
        done += static_cast<std::size_t>(n);
    }
}

class FileSecretStore final : public SecretStore {
public:
    explicit FileSecretStore(fs::path file) : file_(std::move(file)) {}

protected:
    std::optional<std::string> do_get(const std::string& name) override {
        std::lock_guard lock(mutex_);
        const Entries entries = load();
        const auto it = entries.find(name);
        if (it == entries.end()) return std::nullopt;
        return it->second.get<std::string>();
    }

    void do_set(const std::string& name, const std::string& value) override {
        std::lock_guard lock(mutex_);
        Entries entries = load();
        entries[name] = value;
        save(entries);
    }

    void do_remove(const std::string& name) override {
        std::lock_guard lock(mutex_);
        Entries entries = load();
        if (entries.erase(name) == 0) return;
        save(entries);
    }

private:
    // A missing file holds no entries. A file that cannot be read or parsed is
    // an error: treating it as empty would let the next write drop every secret.
    [[nodiscard]] Entries load() const {
        UniqueFd fd(::open(file_.c_str(), O_RDONLY | O_CLOEXEC));
        if (fd.get() < 0) {
            if (errno == ENOENT) return {};
            fail("cannot open the secret file", file_, errno);
        }
        std::string text;
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
            if (n < 0) {
                if (errno == EINTR) continue;
                fail("cannot read the secret file", file_, errno);
            }
            if (n == 0) break;
            text.append(buffer, static_cast<std::size_t>(n));
        }
        nlohmann::json parsed = nlohmann::json::parse(text, nullptr, false);
        if (!parsed.is_object()) throw SecretStoreError("the secret file " + file_.string() + " is corrupt");
        Entries entries = std::move(parsed.get_ref<Entries&>());
        for (const auto& [name, value] : entries)
            if (!value.is_string())
                throw SecretStoreError("the secret file " + file_.string() + " is corrupt: " + name + " is not a string");
        return entries;
    }

    // Replaces the file atomically: a crash leaves the old or the new file,
    // never a torn one. mkstemp creates the temporary file 0600 from the start.
    void save(const Entries& entries) const {
        const fs::path dir = file_.parent_path().empty() ? fs::path(".") : file_.parent_path();
        std::error_code ec;
        fs::create_directories(dir, ec);
        if (ec) fail("cannot create the folder of", file_, ec.value());

        std::string temp_path = file_.string() + ".XXXXXX";
        UniqueFd fd(::mkostemp(temp_path.data(), O_CLOEXEC));
        if (fd.get() < 0) fail("cannot create a temporary file beside", file_, errno);
        TempFileGuard guard(temp_path);

        write_all(fd.get(), nlohmann::json(entries).dump(2) + "\n", file_);
        if (::fsync(fd.get()) != 0) fail("cannot flush the secret file", file_, errno);
        if (fd.close() != 0) fail("cannot write the secret file", file_, errno);
        if (::rename(temp_path.c_str(), file_.c_str()) != 0) fail("cannot replace the secret file", file_, errno);
        guard.release();

        // The rename itself is durable only once the folder is flushed.
        UniqueFd dir_fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (dir_fd.get() >= 0) ::fsync(dir_fd.get());
    }

    fs::path file_;
    std::mutex mutex_;
};

}  // namespace

std::unique_ptr<SecretStore> make_file_secret_store(std::filesystem::path file) {
    return std::make_unique<FileSecretStore>(std::move(file));
}

}  // namespace tovik
