#pragma once
// sync/: the server side of push and pull. Every synced entity is one row of the entity table;
// the rows live in rules/, one file per business domain, and push and pull name no entity.
#include <string>
#include <string_view>
#include <vector>

#include "sync/actor.hpp"
#include "sync/records.hpp"
#include "sync/refusal.hpp"

namespace tovik::sync {

// Whether the actor may write: `sent` is the operation's data (empty for a delete), `live` the
// company's live record of the entity's kind, when there is one.
using Access = bool (*)(const Actor& actor, const json& sent, const Stored* live);
// Validates an upsert and writes it with its effects on other records; returns the stored
// record. `data` is the payload without bookkeeping fields. Throws Refusal.
using Upsert = Stored (*)(Records& records, const Actor& actor, const std::string& uuid, json data,
                          const Stored* live);
// Throws Refusal("locked") when the live record may not be deleted.
using DeleteCheck = void (*)(const Stored& live);
// Whether a stored record of the entity's kind belongs to this entity name.
using Owns = bool (*)(const Stored& record);

// One entity name that travels in sync operations. Several names may share a record kind: a
// till sale (pos_sale) becomes an invoice.
struct Entity {
  std::string_view name;
  std::string_view kind;
  bool pulled;       // returned by /sync/pull
  bool create_once;  // a recorded event: a second upsert of the same uuid changes nothing
  Access may_upsert;
  Access may_delete;
  Upsert upsert;
  DeleteCheck check_delete = nullptr;  // none: deletable
  Owns owns = nullptr;                 // none: every record of the kind
};

[[nodiscard]] const Entity* find_entity(std::string_view name);
// The pulled entity names.
[[nodiscard]] const std::vector<std::string_view>& pulled_entities();

}  // namespace tovik::sync
