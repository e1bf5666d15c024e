#pragma once
#include <string>
#include <vector>

namespace tovik::admin {

// `tovik-server admin --db ADDRESS <command> [options]`: changes a store (and through it a
// running server) for tests and demos. Prints one JSON line; returns the exit status.
int run_admin(const std::vector<std::string>& args);

}  // namespace tovik::admin
