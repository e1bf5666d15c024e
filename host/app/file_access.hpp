#pragma once
#include <filesystem>
#include <string>

namespace tovik {

// Writes `bytes` to `path`, replacing the file. Throws std::runtime_error with
// the system's message on failure.
void write_file(const std::filesystem::path& path, const std::string& bytes);

// Writes `bytes` to `relative` under `documents`, creating missing folders when
// asked; returns the full path. A path that would leave `documents` is refused.
std::filesystem::path write_document(const std::filesystem::path& documents, const std::filesystem::path& relative,
                                     const std::string& bytes, bool create_folders);

}  // namespace tovik
