#pragma once
// admin/: changing a store from outside the running server: the admin command, the demo seed,
// companies and users, update signing.
#include <string>
#include <vector>

namespace tovik::admin {

// `tovik-server admin --db ADDRESS <command> [options]`: changes a store (and through it a
// running server) for tests and demos. Prints one JSON line; returns the exit status.
int run_admin(const std::vector<std::string>& args);

}  // namespace tovik::admin
