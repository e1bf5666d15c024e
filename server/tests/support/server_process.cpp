#include "tests/support/server_process.hpp"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>

#include "tests/support/pg_cluster.hpp"

namespace tovik::testing {

std::string server_binary() {
  if (const char* chosen = std::getenv("TOVIK_SERVER_BIN"); chosen && *chosen) return chosen;
#ifdef TOVIK_SERVER_BIN
  return TOVIK_SERVER_BIN;
#else
  return "tovik-server";
#endif
}

bool testing_postgres() {
  const char* chosen = std::getenv("TOVIK_TEST_DB");
  return chosen && std::string(chosen) == "postgres";
}

namespace {
struct PipeClose {
  void operator()(FILE* f) const { pclose(f); }
};
struct FileClose {
  void operator()(FILE* f) const { std::fclose(f); }
};

std::string quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}
}  // namespace

ServerProcess::ServerProcess(std::vector<std::string> extra_args, Hashing hashing, std::string store)
    : db_address_(std::move(store)) {
  char pattern[] = "/tmp/tovik-server-test-XXXXXX";
  if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
  dir_ = pattern;
  if (db_address_.empty())
    db_address_ = testing_postgres() ? PgCluster::shared().create_database() : "sqlite:" + (dir_ / "server.db").string();
  int out[2];
  if (pipe(out) != 0) throw std::runtime_error("pipe failed");
  std::vector<std::string> args = {server_binary(), "--listen", "127.0.0.1:0", "--db", db_address(),
                                   "--seed", "demo", "--threads", "4"};
  if (hashing == Hashing::fast) args.emplace_back("--fast-password-hash");
  args.insert(args.end(), extra_args.begin(), extra_args.end());
  const pid_t parent = getpid();
  pid_ = fork();
  if (pid_ == 0) {
    // A crashed test leaves no server behind (the signal comes when the creating thread ends).
    if (prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || getppid() != parent) _exit(125);
    dup2(out[1], STDOUT_FILENO);
    close(out[0]);
    close(out[1]);
    const auto log = (dir_ / "server.log").string();
    if (FILE* f = std::fopen(log.c_str(), "w")) dup2(fileno(f), STDERR_FILENO);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(out[1]);
  std::unique_ptr<FILE, FileClose> in(fdopen(out[0], "r"));
  std::array<char, 256> line{};
  if (!std::fgets(line.data(), line.size(), in.get())) {
    stop();
    throw std::runtime_error("the server did not start; its log is in " + (dir_ / "server.log").string());
  }
  const std::string text(line.data());
  const auto colon = text.rfind(':');
  port_ = static_cast<unsigned short>(std::stoi(text.substr(colon + 1)));
}

ServerProcess::~ServerProcess() {
  stop();
  std::error_code ec;
  std::filesystem::remove_all(dir_, ec);
}

int ServerProcess::stop() {
  if (pid_ <= 0) return 0;
  kill(pid_, SIGTERM);
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

nlohmann::json ServerProcess::admin(const std::vector<std::string>& args) const {
  std::string cmd = quote(server_binary()) + " admin --db " + quote(db_address()) + " --fast-password-hash";
  for (const auto& a : args) cmd += " " + quote(a);
  std::unique_ptr<FILE, PipeClose> p(popen(cmd.c_str(), "r"));
  if (!p) throw std::runtime_error("popen failed");
  std::string output;
  std::array<char, 4096> buf{};
  while (std::fgets(buf.data(), buf.size(), p.get())) output += buf.data();
  return nlohmann::json::parse(output);
}

}  // namespace tovik::testing
