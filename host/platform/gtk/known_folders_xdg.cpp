#include "platform/known_folders.hpp"

#include <glib.h>
#include <unistd.h>

#include <string>

#include "app/identity.hpp"

namespace tovik {

namespace {

std::filesystem::path special_dir(GUserDirectory which, const char* fallback) {
    if (const char* dir = g_get_user_special_dir(which)) return dir;
    const char* home = g_get_home_dir();
    if (!home || !*home) return {};
    return std::filesystem::path(home) / fallback;
}

}  // namespace

KnownFolders system_known_folders() {
    return {std::filesystem::path(g_get_user_data_dir()) / identity::kAppId,
            special_dir(G_USER_DIRECTORY_DOCUMENTS, "Documents"), special_dir(G_USER_DIRECTORY_DOWNLOAD, "Downloads")};
}

std::filesystem::path runtime_folder() {
    // g_get_user_runtime_dir falls back to the cache folder when XDG_RUNTIME_DIR is unset.
    return std::filesystem::path(g_get_user_runtime_dir()) / identity::kAppId;
}

}  // namespace tovik
