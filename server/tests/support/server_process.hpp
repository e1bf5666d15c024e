#pragma once
#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace tovik::testing {

// A real tovik-server on a free loopback port with a fresh demo store, stopped (SIGTERM) when
// the object goes; its temporary folder (log, SQLite file) is removed then. The store is a
// SQLite file in that folder, or, with TOVIK_TEST_DB=postgres, a fresh database in the test
// process's private PostgreSQL cluster. A given store address shares an existing store.
class ServerProcess {
 public:
  // Test stores hash passwords at the library's minimum cost; `real` keeps production's.
  enum class Hashing { fast, real };
  explicit ServerProcess(std::vector<std::string> extra_args = {}, Hashing hashing = Hashing::fast,
                         std::string store = {});
  ~ServerProcess();
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  [[nodiscard]] unsigned short port() const { return port_; }
  [[nodiscard]] const std::string& db_address() const { return db_address_; }
  [[nodiscard]] const std::filesystem::path& dir() const { return dir_; }
  // Runs `tovik-server admin --db ... args` and returns its JSON line.
  nlohmann::json admin(const std::vector<std::string>& args) const;
  // Sends SIGTERM and waits; returns the exit status.
  int stop();

 private:
  std::filesystem::path dir_;
  std::string db_address_;
  pid_t pid_ = -1;
  unsigned short port_ = 0;
};

// True when TOVIK_TEST_DB=postgres asks for PostgreSQL stores.
[[nodiscard]] bool testing_postgres();

// The server built beside the tests, or the one TOVIK_SERVER_BIN names (to compare builds).
[[nodiscard]] std::string server_binary();

}  // namespace tovik::testing
