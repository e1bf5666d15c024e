#pragma once
#include "bridge/dispatcher.hpp"
#include "secrets/secret_store.hpp"

namespace tovik {

// Registers secret_get, secret_set and secret_delete over the store, which
// must outlive the table.
void add_secret_commands(CommandTable& table, SecretStore& store);

}  // namespace tovik
