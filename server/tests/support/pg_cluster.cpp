#include "tests/support/pg_cluster.hpp"

#include <fcntl.h>
#include <grp.h>
#include <libpq-fe.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

namespace tovik::testing {
namespace fs = std::filesystem;

std::optional<fs::path> pg_bin_dir() {
  auto has_programs = [](const fs::path& dir) {
    return fs::exists(dir / "initdb") && fs::exists(dir / "postgres");
  };
  if (const char* chosen = std::getenv("TOVIK_PG_BIN"); chosen && *chosen)
    return has_programs(chosen) ? std::optional<fs::path>(chosen) : std::nullopt;
  // Debian keeps the server programs off PATH, one folder per major version.
  std::optional<fs::path> best;
  int best_version = -1;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator("/usr/lib/postgresql", ec)) {
    const auto name = entry.path().filename().string();
    const int version = std::atoi(name.c_str());
    if (version > best_version && has_programs(entry.path() / "bin")) {
      best_version = version;
      best = entry.path() / "bin";
    }
  }
  if (best) return best;
  if (const char* path = std::getenv("PATH")) {
    std::string all(path);
    for (std::size_t start = 0; start <= all.size();) {
      const auto end = std::min(all.find(':', start), all.size());
      const fs::path dir = all.substr(start, end - start);
      if (!dir.empty() && has_programs(dir)) return dir;
      start = end + 1;
    }
  }
  return std::nullopt;
}

namespace {

struct Identity {
  uid_t uid;
  gid_t gid;
};

// Who runs the cluster: root may not, so root hands it to an unprivileged system user.
std::optional<Identity> unprivileged() {
  if (geteuid() != 0) return std::nullopt;
  for (const char* name : {"postgres", "nobody"})
    if (const passwd* pw = getpwnam(name)) return Identity{pw->pw_uid, pw->pw_gid};
  throw std::runtime_error("running as root, and neither the postgres nor the nobody user exists");
}

// Forks a child that drops to `as`, works in `dir`, writes its output to `log` and runs `args`.
// With die_with_parent the child gets SIGQUIT (PostgreSQL's immediate shutdown) when the
// calling thread ends.
pid_t spawn(const std::vector<std::string>& args, const std::optional<Identity>& as, const fs::path& dir,
            const fs::path& log, bool die_with_parent) {
  const pid_t parent = getpid();
  const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (out < 0) throw std::runtime_error("cannot write " + log.string());
  if (as && fchown(out, as->uid, as->gid) != 0) {
    close(out);
    throw std::runtime_error("cannot hand " + log.string() + " to the cluster's user");
  }
  const pid_t pid = fork();
  if (pid < 0) {
    close(out);
    throw std::runtime_error("fork failed");
  }
  if (pid == 0) {
    if (as && (setgroups(0, nullptr) != 0 || setgid(as->gid) != 0 || setuid(as->uid) != 0)) _exit(126);
    // Set after the change of user, which clears it.
    if (die_with_parent && (prctl(PR_SET_PDEATHSIG, SIGQUIT) != 0 || getppid() != parent)) _exit(125);
    if (chdir(dir.c_str()) != 0) _exit(124);
    const int devnull = open("/dev/null", O_RDONLY);
    if (devnull >= 0) dup2(devnull, STDIN_FILENO);
    dup2(out, STDOUT_FILENO);
    dup2(out, STDERR_FILENO);
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(out);
  return pid;
}

std::string read_log(const fs::path& log) {
  std::string text;
  if (FILE* f = std::fopen(log.c_str(), "r")) {
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    std::fclose(f);
  }
  return text.size() > 2000 ? text.substr(text.size() - 2000) : text;
}

struct ConnClose {
  void operator()(PGconn* c) const { PQfinish(c); }
};
struct ResultClear {
  void operator()(PGresult* r) const { PQclear(r); }
};

std::unique_ptr<PgCluster>& shared_slot() {
  static std::unique_ptr<PgCluster> cluster;
  return cluster;
}

}  // namespace

PgCluster::PgCluster() {
  const auto bin = pg_bin_dir();
  if (!bin)
    throw PgUnavailable(
        "the PostgreSQL server programs (initdb, postgres) are not installed; `make setup` installs them");
  const auto as = unprivileged();
  char pattern[] = "/tmp/tovik-pg-XXXXXX";
  if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
  dir_ = pattern;
  try {
    if (as && chown(dir_.c_str(), as->uid, as->gid) != 0)
      throw std::runtime_error("cannot hand " + dir_.string() + " to the cluster's user");
    const auto log = dir_ / "postgres.log";
    const pid_t initdb = spawn({(*bin / "initdb").string(), "-D", (dir_ / "data").string(), "-U", "postgres",
                                "-A", "trust", "-E", "UTF8", "--locale=C", "--no-sync"},
                               as, dir_, log, false);
    int status = 0;
    waitpid(initdb, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
      throw std::runtime_error("initdb failed:\n" + read_log(log));
    // Durability is no concern of a throwaway cluster; the socket is its only way in.
    pid_ = spawn({(*bin / "postgres").string(), "-D", (dir_ / "data").string(), "-k", dir_.string(), "-c",
                  "listen_addresses=", "-c", "fsync=off", "-c", "synchronous_commit=off", "-c",
                  "full_page_writes=off", "-c", "max_connections=200"},
                 as, dir_, log, true);
    const auto conninfo = "host=" + dir_.string() + " dbname=postgres user=postgres";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (PQping(conninfo.c_str()) != PQPING_OK) {
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        throw std::runtime_error("postgres exited at start:\n" + read_log(log));
      }
      if (std::chrono::steady_clock::now() > deadline)
        throw std::runtime_error("postgres did not accept connections:\n" + read_log(log));
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  } catch (...) {
    shut_down();
    throw;
  }
}

PgCluster::~PgCluster() { shut_down(); }

void PgCluster::shut_down() {
  if (pid_ > 0) {
    kill(pid_, SIGQUIT);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
  }
  std::error_code ec;
  if (!dir_.empty()) fs::remove_all(dir_, ec);
  dir_.clear();
}

std::string PgCluster::address(const std::string& database) const {
  return "postgresql://postgres@/" + database + "?host=" + dir_.string();
}

std::string PgCluster::create_database() {
  const auto name = "tovik_" + std::to_string(++next_database_);
  std::unique_ptr<PGconn, ConnClose> c(PQconnectdb(address("postgres").c_str()));
  if (PQstatus(c.get()) != CONNECTION_OK) throw std::runtime_error(PQerrorMessage(c.get()));
  std::unique_ptr<PGresult, ResultClear> r(PQexec(c.get(), ("CREATE DATABASE " + name).c_str()));
  if (PQresultStatus(r.get()) != PGRES_COMMAND_OK) throw std::runtime_error(PQerrorMessage(c.get()));
  return address(name);
}

PgCluster& PgCluster::shared() {
  auto& slot = shared_slot();
  if (!slot) slot = std::make_unique<PgCluster>();
  return *slot;
}

void PgCluster::stop_shared() { shared_slot().reset(); }

}  // namespace tovik::testing
