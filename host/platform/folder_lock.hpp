#pragma once
#include <filesystem>

#include "platform/unique_fd.hpp"

namespace tovik {

// An exclusive lock on a folder, held until destruction. It serialises the
// processes that open one data folder at once (a window and a serve-mode tool,
// two tools), so that only one of them makes the database key. Waits for a
// holder to let go; throws std::runtime_error with the system's message when
// the lock file cannot be opened.
class FolderLock {
public:
    explicit FolderLock(const std::filesystem::path& folder);

private:
    UniqueFd fd_;
};

}  // namespace tovik
