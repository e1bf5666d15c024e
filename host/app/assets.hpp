#pragma once
#include <cstddef>
#include <string_view>

namespace tovik {

// One file of the built client, compiled into the program.
struct Asset {
    std::string_view path;  // without a leading slash, e.g. "index.html"
    std::string_view mime_type;
    const unsigned char* data;
    std::size_t size;
};

// The embedded file at `path` ("" and "/" mean the entry page); nullptr if none.
[[nodiscard]] const Asset* find_asset(std::string_view path);

}  // namespace tovik
