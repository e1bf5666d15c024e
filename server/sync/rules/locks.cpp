#include "sync/rules/locks.hpp"

namespace tovik::sync::rules {

void recorded(const Stored&) {
  throw Refusal("locked", "Recorded documents and payments cannot be deleted from the app.");
}

}  // namespace tovik::sync::rules
