#pragma once
#include <functional>

namespace tovik {

// Runs `task` on the main (window) thread. Safe to call from any thread.
void post_to_main(std::function<void()> task);

}  // namespace tovik
