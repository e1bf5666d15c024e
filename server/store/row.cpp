#include <algorithm>
#include <string>

#include "store/database.hpp"

namespace tovik::store {

const Value& Row::at(std::string_view column) const {
  const auto it = std::find(names_->begin(), names_->end(), column);
  if (it == names_->end()) throw StoreError("no column " + std::string(column));
  return values_[static_cast<std::size_t>(it - names_->begin())];
}

bool Row::is_null(std::string_view column) const {
  return std::holds_alternative<std::nullptr_t>(at(column));
}

std::int64_t Row::integer(std::string_view column) const {
  const auto& v = at(column);
  if (const auto* i = std::get_if<std::int64_t>(&v)) return *i;
  if (const auto* d = std::get_if<double>(&v)) return static_cast<std::int64_t>(*d);
  if (const auto* s = std::get_if<std::string>(&v)) return s->empty() ? 0 : std::stoll(*s);
  return 0;
}

double Row::real(std::string_view column) const {
  const auto& v = at(column);
  if (const auto* d = std::get_if<double>(&v)) return *d;
  if (const auto* i = std::get_if<std::int64_t>(&v)) return static_cast<double>(*i);
  if (const auto* s = std::get_if<std::string>(&v)) return s->empty() ? 0 : std::stod(*s);
  return 0;
}

std::string Row::text(std::string_view column) const {
  const auto& v = at(column);
  if (const auto* s = std::get_if<std::string>(&v)) return *s;
  if (const auto* i = std::get_if<std::int64_t>(&v)) return std::to_string(*i);
  if (const auto* d = std::get_if<double>(&v)) return std::to_string(*d);
  return {};
}

}  // namespace tovik::store
