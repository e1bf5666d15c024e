// The page of a window benchmark, read from the folder named by
// TOVIK_BENCH_PAGE_DIR at run time: the client or a page built from its
// modules, without rebuilding the benchmark.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>

#include "app/assets.hpp"

namespace tovik {

namespace {

namespace fs = std::filesystem;

struct LoadedAsset {
    std::string path;
    std::string mime_type;
    std::string bytes;
    Asset asset;
};

std::string mime_type_of(const fs::path& path) {
    static const std::map<std::string, std::string> types = {
        {".html", "text/html; charset=utf-8"}, {".js", "text/javascript; charset=utf-8"},
        {".css", "text/css; charset=utf-8"},   {".svg", "image/svg+xml"},
        {".woff2", "font/woff2"},              {".wasm", "application/wasm"},
        {".mp3", "audio/mpeg"},                {".wav", "audio/wav"}};
    auto it = types.find(path.extension().string());
    return it == types.end() ? "application/octet-stream" : it->second;
}

}  // namespace

const Asset* find_asset(std::string_view path) {
    static std::map<std::string, std::unique_ptr<LoadedAsset>, std::less<>> loaded;
    while (!path.empty() && path.front() == '/') path.remove_prefix(1);
    if (path.empty()) path = "index.html";
    if (auto it = loaded.find(path); it != loaded.end()) return &it->second->asset;

    const char* dir = std::getenv("TOVIK_BENCH_PAGE_DIR");
    if (!dir || std::string_view(path).find("..") != std::string_view::npos) return nullptr;
    std::ifstream in(fs::path(dir) / path, std::ios::binary);
    if (!in) return nullptr;
    auto entry = std::make_unique<LoadedAsset>();
    entry->path = path;
    entry->mime_type = mime_type_of(entry->path);
    entry->bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    entry->asset = {entry->path, entry->mime_type, reinterpret_cast<const unsigned char*>(entry->bytes.data()),
                    entry->bytes.size()};
    const Asset* asset = &entry->asset;
    loaded.emplace(entry->path, std::move(entry));
    return asset;
}

}  // namespace tovik
