#pragma once
#include <filesystem>
#include <string>

namespace tovik {

// The files a script in the page may write or open: the one the user just
// chose in the save dialog, and those under the documents folder. Anything
// else (autostart folders, the shell's start-up files) is refused, whatever
// the page asks for.
class PagePaths {
public:
    explicit PagePaths(std::filesystem::path documents);

    // The path the save dialog returned; it replaces the previous one.
    void chosen(const std::filesystem::path& path);
    // Throws std::runtime_error when the page may not touch `path`.
    void check(const std::filesystem::path& path) const;

private:
    std::filesystem::path documents_;
    std::filesystem::path chosen_;
};

// Writes `bytes` to `path`, replacing the file. Throws std::runtime_error with
// the system's message on failure.
void write_file(const std::filesystem::path& path, const std::string& bytes);

// Writes `bytes` to `relative` under `documents`, creating missing folders when
// asked; returns the full path. A path that would leave `documents` is refused.
std::filesystem::path write_document(const std::filesystem::path& documents, const std::filesystem::path& relative,
                                     const std::string& bytes, bool create_folders);

}  // namespace tovik
