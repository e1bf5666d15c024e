#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "store/database.hpp"

namespace tovik::sync {

using nlohmann::json;

// One synchronised record as the server keeps it. `data` holds the fields in the pull format
// (items, taxes, summary, payments, wallet_cards as JSON values), without uuid/id/version.
struct Stored {
  std::int64_t id = 0;
  std::int64_t company_id = 0;
  std::string kind;
  std::string uuid;
  std::string version;
  std::int64_t seq = 0;
  bool deleted = false;
  json data;
};

// The record table of one company inside one transaction. Every write takes the company's
// next change number, which is also the record's new version.
class Records {
 public:
  Records(store::Tx& tx, std::int64_t company_id) : tx_(tx), company_id_(company_id) {}

  // By uuid in any company (uuids are unique across the server).
  [[nodiscard]] std::optional<Stored> find(const std::string& uuid);
  // By uuid and kind in this company, live records only.
  [[nodiscard]] std::optional<Stored> live(const std::string& kind, const std::string& uuid);
  [[nodiscard]] std::vector<Stored> children(const std::string& kind, const std::string& parent_uuid);

  // Records of a kind stamped with a till shift.
  [[nodiscard]] std::vector<Stored> in_shift(const std::string& kind, const std::string& shift_uuid);

  // Inserts or updates a record (clearing a tombstone) and returns it as stored. The parent
  // (client, product or payable) and the shift are indexed from the data.
  Stored put(const std::string& kind, const std::string& uuid, json data);
  void tombstone(Stored& record);

  // The next number of a document series ("INV-000001").
  [[nodiscard]] std::string next_number(const std::string& series, const std::string& prefix);

  [[nodiscard]] std::int64_t company_id() const { return company_id_; }
  [[nodiscard]] store::Tx& tx() { return tx_; }

 private:
  std::int64_t next_seq();
  store::Tx& tx_;
  std::int64_t company_id_;
};

// The record as the client receives it: its fields plus uuid, id and version.
[[nodiscard]] json pull_format(const Stored& record);

// Rounds half up to cents after adding the machine epsilon, as the client does.
[[nodiscard]] double round_cents(double x);

}  // namespace tovik::sync
