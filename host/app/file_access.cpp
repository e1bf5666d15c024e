#include "app/file_access.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace tovik {

namespace fs = std::filesystem;

namespace {

// Symbolic links resolved, so a link inside the folder cannot lead out of it.
fs::path resolved(const fs::path& path) {
    std::error_code ec;
    fs::path out = fs::weakly_canonical(path, ec);
    return ec ? path.lexically_normal() : out;
}

bool is_inside(const fs::path& path, const fs::path& folder) {
    const auto [folder_end, path_it] = std::mismatch(folder.begin(), folder.end(), path.begin(), path.end());
    return folder_end == folder.end() && path_it != path.end();
}

}  // namespace

PagePaths::PagePaths(fs::path documents) : documents_(std::move(documents)) {}

void PagePaths::chosen(const fs::path& path) { chosen_ = resolved(path); }

void PagePaths::check(const fs::path& path) const {
    if (!path.is_absolute()) throw std::runtime_error("not an absolute path");
    const fs::path target = resolved(path);
    if (!chosen_.empty() && target == chosen_) return;
    if (!documents_.empty() && is_inside(target, resolved(documents_))) return;
    throw std::runtime_error(path.string() + ": the page may write or open only the file chosen in the save dialog or files in the Documents folder");
}

void write_file(const fs::path& path, const std::string& bytes) {
    // Write beside the target and rename, so a failed write never leaves half a file.
    fs::path temporary = path;
    temporary += ".part";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) throw std::runtime_error(path.string() + ": " + std::strerror(errno));
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (!out) {
            std::error_code ignored;
            fs::remove(temporary, ignored);
            throw std::runtime_error(path.string() + ": write failed");
        }
    }
    std::error_code ec;
    fs::rename(temporary, path, ec);
    if (ec) {
        fs::remove(temporary, ec);
        throw std::runtime_error(path.string() + ": " + ec.message());
    }
}

fs::path write_document(const fs::path& documents, const fs::path& relative, const std::string& bytes,
                        bool create_folders) {
    if (relative.empty() || relative.is_absolute())
        throw std::runtime_error("a document path must be relative to the Documents folder");
    for (const auto& part : relative)
        if (part == "..") throw std::runtime_error("a document path may not leave the Documents folder");
    const fs::path target = documents / relative;
    if (create_folders) {
        std::error_code ec;
        fs::create_directories(target.parent_path(), ec);
        if (ec) throw std::runtime_error(target.parent_path().string() + ": " + ec.message());
    }
    write_file(target, bytes);
    return target;
}

}  // namespace tovik
