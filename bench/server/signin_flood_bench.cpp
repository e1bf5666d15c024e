// /api/status latency while parallel loops flood the sign-in with unknown addresses, each of
// which costs a full Argon2id check. Real password hashing (not the test stores' fast one).
// Prints figures; never fails on them. TOVIK_SERVER_BIN picks another server binary.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "tests/support/server_process.hpp"
#include "tests/support/test_client.hpp"

using namespace tovik::testing;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kFloodLoops = 4;
constexpr int kSamples = 100;

struct Latency {
  double median_ms, p95_ms, max_ms;
};

Latency status_latency(const HttpClient& client) {
  std::vector<double> ms;
  for (int i = 0; i < kSamples; ++i) {
    const auto t = Clock::now();
    (void)client.request("GET", "/api/status");
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t).count());
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::sort(ms.begin(), ms.end());
  return {ms[ms.size() / 2], ms[ms.size() * 95 / 100], ms.back()};
}

}  // namespace

int main() {
  ServerProcess server({}, ServerProcess::Hashing::real);
  const HttpClient client(server.port());
  const auto idle = status_latency(client);

  std::atomic<bool> stop{false};
  std::mutex m;
  std::map<int, int> statuses;
  std::vector<std::thread> loops;
  for (int l = 0; l < kFloodLoops; ++l)
    loops.emplace_back([&, l] {
      const HttpClient c(server.port());
      for (int i = 0; !stop; ++i) {
        const auto r = c.api("POST", "/login", {{"email", "nobody-" + std::to_string(l) + "-" + std::to_string(i) + "@flood.test"},
                                                {"password", "wrong password"}});
        std::lock_guard lock(m);
        ++statuses[r.status];
      }
    });
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const auto flooded = status_latency(client);
  stop = true;
  for (auto& t : loops) t.join();

  std::printf("sign-in flood (%d loops of unknown addresses, real Argon2id, 4 server threads)\n", kFloodLoops);
  std::printf("  /api/status idle:  median %.2f ms, p95 %.2f ms, max %.2f ms\n", idle.median_ms, idle.p95_ms, idle.max_ms);
  std::printf("  /api/status flood: median %.2f ms, p95 %.2f ms, max %.2f ms\n", flooded.median_ms, flooded.p95_ms,
              flooded.max_ms);
  std::printf("  sign-in replies during the flood:");
  for (const auto& [status, n] : statuses) std::printf(" %d x%d", status, n);
  std::printf("\n");
  return 0;
}
