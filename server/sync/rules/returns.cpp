// Returns of sales: what can still come back, and the recorded return with its effects
// (stock back, the sale's status, the customer's debt or wallet). Devices only pull returns.
#include <algorithm>
#include <cmath>
#include <map>
#include <optional>

#include "sync/returns.hpp"
#include "sync/rules/domains.hpp"
#include "sync/rules/fields.hpp"
#include "sync/rules/lines.hpp"
#include "sync/rules/locks.hpp"
#include "sync/rules/stock_moves.hpp"
#include "util/clock.hpp"
#include "util/crypto.hpp"

namespace tovik::sync {

namespace {

using rules::base_rate;
using rules::exact_cents;
using rules::has_text;
using rules::number_or;
using rules::text;

constexpr const char* kWalkIn = "Walk-in Customer";
constexpr std::size_t kMaxReason = 255;
constexpr double kEpsilon = 1e-9;

// Quantities are kept to the gram.
double grams(double quantity) { return std::round(quantity * 1000) / 1000; }

bool owes(const json& sale) {
  const auto status = text(sale, "status");
  return status == "approved" || status == "partially_paid" || status == "pending";
}

struct SaleLine {
  int id = 0;  // position in the sale, from 1
  json item;
  double sold = 0;
  double returned = 0;
  bool weighed = false;
  [[nodiscard]] double returnable() const { return std::max(0.0, grams(sold - returned)); }
};

struct Sale {
  Stored record;
  std::vector<SaleLine> lines;
  double refunded = 0;  // value of the returns recorded so far
  // What one unit of a line brought in after the sale's discount, points and tax.
  [[nodiscard]] double net_factor() const {
    const double subtotal = number_or(record.data, "subtotal", 0);
    return subtotal > 0 ? number_or(record.data, "total", 0) / subtotal : 1;
  }
  [[nodiscard]] double unit_price(const SaleLine& line) const {
    return exact_cents(number_or(line.item, "unit_price", 0) * net_factor());
  }
};

bool sold_by_weight(Records& records, const json& item) {
  const double quantity = number_or(item, "quantity", 0);
  if (quantity != std::floor(quantity)) return true;
  const auto product_uuid = text(item, "product_uuid");
  if (product_uuid.empty()) return false;
  const auto product = records.live("product", product_uuid);
  return product && text(product->data, "unit") == "kg";
}

Sale load_sale(Records& records, const std::string& uuid) {
  auto record = records.live("invoice", uuid);
  if (!record) throw ReturnRefusal(404, "This sale is not known to the server.");
  Sale sale{std::move(*record), {}, 0};
  if (const auto it = sale.record.data.find("items"); it != sale.record.data.end() && it->is_array())
    for (const auto& item : *it) {
      SaleLine line;
      line.id = static_cast<int>(sale.lines.size()) + 1;
      line.item = item;
      line.sold = number_or(item, "quantity", 0);
      line.weighed = sold_by_weight(records, item);
      sale.lines.push_back(std::move(line));
    }
  for (const auto& done : records.children("pos_return", uuid)) {
    sale.refunded += number_or(done.data, "total", 0);
    if (const auto it = done.data.find("lines"); it != done.data.end() && it->is_array())
      for (const auto& l : *it) {
        const auto id = static_cast<std::size_t>(number_or(l, "invoice_item_id", 0));
        if (id >= 1 && id <= sale.lines.size()) sale.lines[id - 1].returned += number_or(l, "quantity", 0);
      }
  }
  return sale;
}

std::optional<std::string> refusal_of(const Sale& sale) {
  const auto status = text(sale.record.data, "status");
  if (status == "cancelled") return "A cancelled sale cannot be returned.";
  if (status == "draft" || !has_text(sale.record.data, "invoice_number"))
    return "This invoice has not been issued: there is nothing to return.";
  if (std::all_of(sale.lines.begin(), sale.lines.end(), [](const SaleLine& l) { return l.returnable() <= 0; }))
    return "Everything on this sale has already been returned.";
  return std::nullopt;
}

std::string client_name(Records& records, const json& sale) {
  const auto uuid = text(sale, "client_uuid");
  if (uuid.empty()) return kWalkIn;
  const auto client = records.live("client", uuid);
  return client ? text(client->data, "name") : kWalkIn;
}

// The tenant's manager override PIN, when one is set: {salt, hash, iterations}.
const json* override_pin(const Actor& actor) {
  const auto pos = actor.tenant.find("pos");
  if (pos == actor.tenant.end() || !pos->is_object()) return nullptr;
  const auto pin = pos->find("override_pin");
  return pin != pos->end() && pin->is_object() ? &*pin : nullptr;
}

bool pin_matches(const json& configured, const std::string& pin) {
  if (pin.size() < 6 || pin.size() > 12 || !std::all_of(pin.begin(), pin.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return false;
  try {
    const auto salt = util::base64_decode(text(configured, "salt"));
    const auto hash = util::base64_decode(text(configured, "hash"));
    const auto iterations = static_cast<int>(number_or(configured, "iterations", 0));
    if (iterations < 1 || iterations > 10'000'000 || hash.size() != 32) return false;
    return util::equal_secret(util::pbkdf2_sha256(pin, salt, iterations, 32), hash);
  } catch (const std::exception&) {
    return false;
  }
}

// A cashier's return needs a manager when the business has set an override PIN.
void check_pin(const Actor& actor, const json& request) {
  const json* configured = override_pin(actor);
  if (!actor.cashier || !configured) return;
  const auto pin = request.contains("override_pin") && request["override_pin"].is_string()
                       ? request["override_pin"].get<std::string>()
                       : std::string();
  if (pin.empty()) throw ReturnRefusal(422, "A manager's override PIN is needed for this return.", true);
  if (!pin_matches(*configured, pin)) throw ReturnRefusal(422, "The override PIN is not correct.", true);
}

// Quantity per sale line, checked against what the sale can still give back.
std::map<int, double> requested_lines(const Sale& sale, const json& request) {
  const auto it = request.find("lines");
  if (it == request.end() || !it->is_array() || it->empty())
    throw ReturnRefusal(422, "Enter how many of each item come back.");
  if (it->size() > sale.lines.size()) throw ReturnRefusal(422, "The return names more lines than the sale has.");
  std::map<int, double> wanted;
  for (const auto& l : *it) {
    const double id = l.is_object() ? number_or(l, "invoice_item_id", 0) : 0;
    const double quantity = l.is_object() ? number_or(l, "quantity", 0) : 0;
    if (id != std::floor(id) || id < 1 || id > static_cast<double>(sale.lines.size()))
      throw ReturnRefusal(422, "The return names a line this sale does not have.");
    if (!(quantity > 0)) throw ReturnRefusal(422, "Every returned line needs a quantity above zero.");
    wanted[static_cast<int>(id)] += quantity;
  }
  for (auto& [id, quantity] : wanted) {
    const auto& line = sale.lines[static_cast<std::size_t>(id - 1)];
    const auto name = text(line.item, "name");
    if (!line.weighed && quantity != std::floor(quantity))
      throw ReturnRefusal(422, "Only whole pieces of " + name + " can be returned.");
    quantity = grams(quantity);
    if (quantity > line.returnable() + kEpsilon) {
      char left[32];
      std::snprintf(left, sizeof left, "%g", line.returnable());
      throw ReturnRefusal(422, "Only " + std::string(left) + " of " + name + " can still be returned.");
    }
  }
  return wanted;
}

json recorded_reply(const Stored& r) {
  return {{"return",
           {{"uuid", r.uuid}, {"number", r.data["number"]}, {"shift_uuid", r.data["shift_uuid"]},
            {"method", r.data["method"]}, {"total", r.data["total"]}, {"currency_code", r.data["currency_code"]},
            {"credited", r.data.value("credited", 0.0)}}}};
}

std::string request_text(const json& request, const char* key) {
  const auto it = request.find(key);
  return it != request.end() && it->is_string() ? it->get<std::string>() : std::string();
}

bool nobody(const Actor&, const json&, const Stored*) { return false; }

Stored server_written(Records&, const Actor&, const std::string&, json, const Stored*) {
  throw Refusal("forbidden", "Returns are recorded by the server.");
}

}  // namespace

json returnable_view(Records& records, const std::string& sale_uuid) {
  const auto sale = load_sale(records, sale_uuid);
  const auto& d = sale.record.data;
  json lines = json::array();
  for (const auto& line : sale.lines)
    lines.push_back({{"invoice_item_id", line.id},
                     {"name", text(line.item, "name")},
                     {"sold", line.sold},
                     {"returned", grams(line.returned)},
                     {"returnable", line.returnable()},
                     {"unit_price", sale.unit_price(line)},
                     {"weighed", line.weighed}});
  const auto refusal = refusal_of(sale);
  return {{"invoice",
           {{"uuid", sale.record.uuid},
            {"number", d.value("invoice_number", json())},
            {"client", client_name(records, d)},
            {"total", number_or(d, "total", 0)},
            {"method", has_text(d, "pos_method") ? json(text(d, "pos_method")) : json()},
            {"currency_code", d.value("currency_code", json())}}},
          {"lines", std::move(lines)},
          {"refusal", refusal ? json(*refusal) : json()}};
}

json record_return(Records& records, const Actor& actor, const json& request) {
  const auto uuid = request_text(request, "uuid");
  if (uuid.empty() || uuid.size() > 64) throw ReturnRefusal(422, "The return has no valid uuid.");
  const auto sale_uuid = request_text(request, "invoice_uuid");

  if (const auto existing = records.find(uuid)) {
    if (existing->company_id == records.company_id() && existing->kind == "pos_return" &&
        text(existing->data, "invoice_uuid") == sale_uuid)
      return recorded_reply(*existing);
    throw ReturnRefusal(409, "That identifier is already used by another record.");
  }

  auto sale = load_sale(records, sale_uuid);
  if (const auto refusal = refusal_of(sale)) throw ReturnRefusal(422, *refusal);
  const auto reason = request.contains("reason") && request["reason"].is_string() ? request["reason"].get<std::string>() : "";
  if (reason.size() > kMaxReason) throw ReturnRefusal(422, "The reason is longer than 255 characters.");
  auto method = request_text(request, "refund_method");
  if (method.empty() || method.size() > 32) throw ReturnRefusal(422, "Choose how the money goes back.");
  const auto wanted = requested_lines(sale, request);
  check_pin(actor, request);

  auto& d = sale.record.data;
  json lines = json::array();
  std::map<std::string, double> back;
  double value = 0;
  bool everything = true;
  for (const auto& line : sale.lines) {
    const auto it = wanted.find(line.id);
    const double quantity = it == wanted.end() ? 0 : it->second;
    if (line.returnable() - quantity > kEpsilon) everything = false;
    if (quantity <= 0) continue;
    value += quantity * sale.unit_price(line);
    const auto product = text(line.item, "product_uuid");
    lines.push_back({{"invoice_item_id", line.id}, {"name", text(line.item, "name")}, {"quantity", quantity},
                     {"product_uuid", product}});
    if (!product.empty()) {
      const double factor = text(line.item, "unit") == "box" ? std::max(1.0, number_or(line.item, "unit_factor", 1)) : 1;
      back[product] += quantity * factor;
    }
  }
  // The last return of a sale gives back exactly what is left of its total.
  const double total = everything ? exact_cents(std::max(0.0, number_or(d, "total", 0) - sale.refunded))
                                   : exact_cents(value);

  // What the customer still owes is paid down first; a credit sale never pays out cash.
  const double paid = number_or(d, "paid_amount", 0);
  const double owed = owes(d) ? exact_cents(std::max(0.0, number_or(d, "total", 0) - paid)) : 0;
  const double credited = std::min(total, owed);
  std::optional<Stored> client;
  if (has_text(d, "client_uuid")) client = records.live("client", text(d, "client_uuid"));
  if (owed > 0) method = "credit";
  else if (method == "credit") throw ReturnRefusal(422, "Nothing is owed on this sale: choose how the money goes back.");
  // Beyond the debt, an account return becomes store credit.
  const double to_wallet = method == "wallet" ? total : method == "credit" ? total - credited : 0;
  if ((method == "wallet" || to_wallet > 0) && !client)
    throw ReturnRefusal(422, "Store credit needs a customer on the sale.");
  if (to_wallet > 0) {
    auto& c = client->data;
    const double rate = base_rate(actor, text(d, "currency_code"));
    c["wallet_balance"] = round_cents(number_or(c, "wallet_balance", 0) + exact_cents(to_wallet * rate));
    records.put("client", client->uuid, c);
  }

  if (credited > 0) d["paid_amount"] = exact_cents(paid + credited);
  d["returned_total"] = exact_cents(sale.refunded + total);
  // A sale still owed keeps its open status, so its debt stays on the customer's account.
  if (owes(d) && exact_cents(number_or(d, "total", 0) - number_or(d, "paid_amount", 0)) > 0) {
    d["status"] = number_or(d, "paid_amount", 0) > 0 ? "partially_paid" : "approved";
  } else {
    d["status"] = everything ? "full_return" : "partial_return";
  }
  rules::move_stock(records, back, {});
  records.put("invoice", sale.record.uuid, d);

  const auto shift_uuid = request_text(request, "shift_uuid");
  json data = {{"invoice_uuid", sale.record.uuid},
               {"number", records.next_number("return", "RET-")},
               {"shift_uuid", shift_uuid.empty() ? json() : json(shift_uuid)},
               {"method", method},
               {"total", total},
               {"amount", total},
               {"credited", credited},
               {"currency_code", d.value("currency_code", json())},
               {"lines", std::move(lines)},
               {"reason", reason.empty() ? json() : json(reason)},
               {"created_at", util::iso_now()}};
  return recorded_reply(records.put("pos_return", uuid, std::move(data)));
}

namespace rules {

std::vector<Entity> returns() {
  return {{.name = "pos_return", .kind = "pos_return", .pulled = true, .create_once = true, .may_upsert = nobody,
           .may_delete = nobody, .upsert = server_written, .check_delete = recorded}};
}

}  // namespace rules

}  // namespace tovik::sync
