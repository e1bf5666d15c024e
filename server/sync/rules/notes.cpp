// The notepad: notes are stored as sent; a note needs a body.
#include "sync/rules/access.hpp"
#include "sync/rules/domains.hpp"
#include "sync/rules/fields.hpp"

namespace tovik::sync::rules {

namespace {

Stored note(Records& records, const Actor&, const std::string& uuid, json d, const Stored* live) {
  if (live) d = overlay(live->data, d);
  Errors errors;
  if (!d.contains("body")) errors.add("body", "The note is empty.");
  errors.throw_if_any();
  return records.put("note", uuid, std::move(d));
}

}  // namespace

std::vector<Entity> notes() {
  return {
      {.name = "note", .kind = "note", .pulled = true, .create_once = false, .may_upsert = owner,
       .may_delete = owner, .upsert = note},
  };
}

}  // namespace tovik::sync::rules
