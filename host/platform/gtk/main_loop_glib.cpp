#include "platform/main_loop.hpp"

#include <glib.h>

#include <memory>

namespace tovik {

void post_to_main(std::function<void()> task) {
    auto owned = std::make_unique<std::function<void()>>(std::move(task));
    g_main_context_invoke_full(
        nullptr, G_PRIORITY_DEFAULT,
        [](gpointer data) -> gboolean {
            (*static_cast<std::function<void()>*>(data))();
            return G_SOURCE_REMOVE;
        },
        owned.release(), [](gpointer data) { std::unique_ptr<std::function<void()>>(static_cast<std::function<void()>*>(data)); });
}

}  // namespace tovik
