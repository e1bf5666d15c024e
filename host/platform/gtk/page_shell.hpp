#pragma once
#include <gtk/gtk.h>

#include <nlohmann/json.hpp>

#include "platform/gtk/page_reply.hpp"
#include "platform/known_folders.hpp"

namespace tovik {

// The page integrations behind window.alert, window.confirm, external links
// and window.tovikHost (save dialog, writing files, opening files).
void handle_page_shell(GtkWindow* window, const KnownFolders& folders, const nlohmann::json& message,
                       SharedPageReply reply);

}  // namespace tovik
