#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>
#include <stdexcept>
#include <system_error>

#include "platform/folder_lock.hpp"

namespace tovik {

namespace {
constexpr const char* kLockFile = ".lock";
}

FolderLock::FolderLock(const std::filesystem::path& folder)
    : fd_(::open((folder / kLockFile).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
    if (!fd_) throw std::runtime_error((folder / kLockFile).string() + ": " + std::generic_category().message(errno));
    // flock ends with the descriptor, also when the process dies holding it.
    while (::flock(fd_.get(), LOCK_EX) != 0)
        if (errno != EINTR)
            throw std::runtime_error((folder / kLockFile).string() + ": " + std::generic_category().message(errno));
}

}  // namespace tovik
