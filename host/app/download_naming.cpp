#include "app/download_naming.hpp"

#include <string>

namespace tovik {

std::string download_file_name(std::string_view suggested) {
    // Both separators count: a page may suggest a Windows-style path.
    const auto cut = suggested.find_last_of("/\\");
    std::string name(cut == std::string_view::npos ? suggested : suggested.substr(cut + 1));
    if (name.empty() || name == "." || name == "..") return "download";
    return name;
}

bool file_exists(const std::filesystem::path& path) {
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::symlink_status(path, ec));
}

std::filesystem::path free_download_path(const std::filesystem::path& folder, const std::string& file_name,
                                         const PathTaken& taken) {
    namespace fs = std::filesystem;
    fs::path candidate = folder / file_name;
    if (!taken(candidate)) return candidate;

    // "archive.tar.gz" becomes "archive.tar (2).gz"; a leading-dot name has no extension.
    const auto dot = file_name.rfind('.');
    const bool has_extension = dot != std::string::npos && dot != 0;
    const std::string stem = has_extension ? file_name.substr(0, dot) : file_name;
    const std::string extension = has_extension ? file_name.substr(dot) : std::string();
    for (unsigned n = 2;; ++n) {
        candidate = folder / (stem + " (" + std::to_string(n) + ")" + extension);
        if (!taken(candidate)) return candidate;
    }
}

}  // namespace tovik
