#pragma once
#include <gtk/gtk.h>

#include <nlohmann/json.hpp>

#include "app/file_access.hpp"
#include "platform/gtk/page_reply.hpp"
#include "platform/known_folders.hpp"

namespace tovik {

// The page integrations behind window.alert, window.confirm, external links
// and window.tovikHost (save dialog, writing files, opening files). `paths`
// learns the save dialog's answers and decides which files may be touched.
void handle_page_shell(GtkWindow* window, const KnownFolders& folders, PagePaths& paths, const nlohmann::json& message,
                       SharedPageReply reply);

}  // namespace tovik
