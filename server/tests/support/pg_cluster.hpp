#pragma once
#include <sys/types.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

namespace tovik::testing {

// The PostgreSQL server programs are not installed; tests that need them skip.
class PgUnavailable : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A private PostgreSQL cluster for tests: initdb in a temporary folder, listening only on a Unix
// socket in that folder, trust authentication, stopped (immediate) and removed when the object
// goes. Run as root (as CI does), the cluster belongs to the `postgres` system user (else
// `nobody`), since the server refuses to run as root. The postmaster dies with the thread that
// started it, so a crashed test leaves no server behind.
class PgCluster {
 public:
  PgCluster();
  ~PgCluster();
  PgCluster(const PgCluster&) = delete;
  PgCluster& operator=(const PgCluster&) = delete;

  // Creates an empty database and returns its libpq connection URI.
  std::string create_database();
  // The connection URI of an existing database.
  [[nodiscard]] std::string address(const std::string& database) const;

  // The cluster shared by every test of this process, started on first use.
  static PgCluster& shared();
  static void stop_shared();

 private:
  void shut_down();
  std::filesystem::path dir_;
  pid_t pid_ = -1;
  int next_database_ = 0;
};

// The folder holding initdb and postgres, if they are installed: TOVIK_PG_BIN, then the newest
// of Debian's versioned folders, then PATH.
[[nodiscard]] std::optional<std::filesystem::path> pg_bin_dir();

}  // namespace tovik::testing
