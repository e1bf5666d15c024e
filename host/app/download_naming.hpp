#pragma once
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace tovik {

// The file name a download is saved under: the final path component of the
// name the page suggests, or "download" when there is none.
[[nodiscard]] std::string download_file_name(std::string_view suggested);

using PathTaken = std::function<bool(const std::filesystem::path&)>;

// True when a file (or link) is at `path`.
[[nodiscard]] bool file_exists(const std::filesystem::path& path);

// A path in `folder` for `file_name` that is not taken: the name itself, else
// "stem (2).ext", "stem (3).ext", ... Downloads still running count as taken
// too, so two downloads of one name never pick the same path.
[[nodiscard]] std::filesystem::path free_download_path(const std::filesystem::path& folder,
                                                       const std::string& file_name,
                                                       const PathTaken& taken = file_exists);

}  // namespace tovik
