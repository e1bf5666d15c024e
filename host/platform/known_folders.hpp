#pragma once
#include <filesystem>
#include <optional>

namespace tovik {

// The per-user folders the host writes to. `documents` and `downloads` are
// empty when the system cannot tell them.
struct KnownFolders {
    std::filesystem::path data;  // the application's own data folder
    std::filesystem::path documents;
    std::filesystem::path downloads;
};

// The system's folders, with `data` under the per-user application data folder.
[[nodiscard]] KnownFolders system_known_folders();

// The runtime folder for the single-instance lock and socket.
[[nodiscard]] std::filesystem::path runtime_folder();

}  // namespace tovik
