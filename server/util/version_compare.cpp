#include "util/version_compare.hpp"

#include <optional>
#include <vector>

namespace tovik::util {

static std::vector<std::string_view> pieces(std::string_view v) {
  std::vector<std::string_view> out;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= v.size() && out.size() < 3; ++i) {
    if (i == v.size() || v[i] == '.' || v[i] == '-') {
      out.push_back(v.substr(start, i - start));
      start = i + 1;
    }
  }
  return out;
}

static std::optional<long long> number(std::string_view piece) {
  if (piece.empty()) return std::nullopt;
  long long n = 0;
  for (char c : piece) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + (c - '0');
    if (n > 1'000'000'000'000LL) return std::nullopt;
  }
  return n;
}

bool is_older_version(std::string_view a, std::string_view b) {
  const auto pa = pieces(a), pb = pieces(b);
  for (std::size_t i = 0; i < 3; ++i) {
    const auto na = i < pa.size() ? number(pa[i]) : std::optional<long long>(0);
    const auto nb = i < pb.size() ? number(pb[i]) : std::optional<long long>(0);
    if (!na || !nb) return false;
    if (*na != *nb) return *na < *nb;
  }
  return false;
}

}  // namespace tovik::util
