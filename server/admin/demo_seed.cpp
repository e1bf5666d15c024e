#include "admin/demo_seed.hpp"

#include <array>

#include "admin/directory.hpp"
#include "sync/records.hpp"
#include "util/crypto.hpp"
#include "util/uuid.hpp"

namespace tovik::admin {

namespace {

struct DemoProduct {
  const char* ar;
  const char* en;
  double price;
  double cost;
  const char* category;
  const char* unit;
  const char* sku;
  double stock;
  int alert;
  int box_pieces;  // 0: sold by the piece only
  double box_price;
  bool weighed;
  bool quick;
};

// About sixty shelf items: weighed produce (the SKU is the scale's PLU), items sold by the box,
// and a few below their stock alert.
constexpr std::array<DemoProduct, 60> kProducts = {{
    {"حليب طازج 1 لتر", "Fresh milk 1 L", 4.5, 3.6, "Dairy", "piece", "6191000000011", 48, 12, 12, 50, false, true},
    {"لبن رائب 1 لتر", "Buttermilk 1 L", 4.0, 3.1, "Dairy", "piece", "6191000000028", 30, 10, 12, 45, false, false},
    {"جبنة بيضاء 500 غ", "White cheese 500 g", 12.0, 9.5, "Dairy", "piece", "6191000000035", 6, 8, 0, 0, false, false},
    {"زبادي فواكه", "Fruit yoghurt", 1.75, 1.2, "Dairy", "piece", "6191000000042", 96, 24, 24, 38, false, true},
    {"زبدة 200 غ", "Butter 200 g", 9.0, 7.0, "Dairy", "piece", "6191000000059", 20, 5, 0, 0, false, false},
    {"بيض 30 حبة", "Eggs, tray of 30", 18.0, 15.0, "Dairy", "tray", "6191000000066", 14, 5, 0, 0, false, true},
    {"خبز فرنسي", "Baguette", 0.5, 0.3, "Bakery", "piece", "2000000000015", 120, 30, 0, 0, false, true},
    {"خبز تنور", "Tannour bread", 1.0, 0.6, "Bakery", "piece", "2000000000022", 60, 20, 0, 0, false, false},
    {"كرواسون زبدة", "Butter croissant", 2.5, 1.4, "Bakery", "piece", "2000000000039", 3, 10, 0, 0, false, true},
    {"كعك بالسمسم", "Sesame ka'ak", 3.0, 1.8, "Bakery", "bag", "2000000000046", 25, 5, 0, 0, false, false},
    {"مياه معدنية 1.5 لتر", "Mineral water 1.5 L", 1.0, 0.6, "Beverages", "piece", "6191000001018", 240, 48, 6, 5.5, false, true},
    {"مياه معدنية 0.5 لتر", "Mineral water 0.5 L", 0.5, 0.3, "Beverages", "piece", "6191000001025", 300, 48, 12, 5.5, false, false},
    {"عصير برتقال 1 لتر", "Orange juice 1 L", 6.5, 4.8, "Beverages", "piece", "6191000001032", 36, 12, 6, 36, false, true},
    {"مشروب غازي 330 مل", "Cola 330 ml", 2.0, 1.3, "Beverages", "can", "6191000001049", 180, 48, 24, 42, false, true},
    {"شاي أخضر 100 كيس", "Green tea, 100 bags", 11.0, 8.0, "Beverages", "box", "6191000001056", 18, 6, 0, 0, false, false},
    {"قهوة عربية 250 غ", "Arabic coffee 250 g", 15.0, 11.5, "Beverages", "piece", "6191000001063", 22, 6, 0, 0, false, false},
    {"قهوة سريعة التحضير", "Instant coffee 200 g", 19.5, 15.0, "Beverages", "jar", "6191000001070", 4, 6, 0, 0, false, false},
    {"عصير مانجو 250 مل", "Mango juice 250 ml", 1.5, 0.9, "Beverages", "piece", "6191000001087", 144, 24, 24, 32, false, false},
    {"طماطم", "Tomatoes", 3.5, 2.2, "Produce", "kg", "00101", 80, 15, 0, 0, true, true},
    {"خيار", "Cucumbers", 3.0, 1.9, "Produce", "kg", "00102", 45, 10, 0, 0, true, false},
    {"بطاطا", "Potatoes", 2.5, 1.5, "Produce", "kg", "00103", 150, 25, 0, 0, true, true},
    {"بصل", "Onions", 2.0, 1.2, "Produce", "kg", "00104", 90, 20, 0, 0, true, false},
    {"تفاح أحمر", "Red apples", 8.0, 5.5, "Produce", "kg", "00105", 40, 10, 0, 0, true, false},
    {"موز", "Bananas", 7.5, 5.0, "Produce", "kg", "00106", 8, 10, 0, 0, true, true},
    {"برتقال", "Oranges", 4.0, 2.6, "Produce", "kg", "00107", 70, 15, 0, 0, true, false},
    {"ليمون", "Lemons", 6.0, 4.0, "Produce", "kg", "00108", 25, 5, 0, 0, true, false},
    {"تمر دقلة 1 كغ", "Deglet dates 1 kg", 14.0, 10.0, "Produce", "box", "6191000002015", 30, 8, 0, 0, false, false},
    {"أرز بسمتي 5 كغ", "Basmati rice 5 kg", 32.0, 26.0, "Grocery", "bag", "6191000003012", 26, 8, 4, 120, false, false},
    {"مكرونة 500 غ", "Spaghetti 500 g", 2.25, 1.5, "Grocery", "piece", "6191000003029", 110, 24, 20, 40, false, false},
    {"كسكسي 1 كغ", "Couscous 1 kg", 4.5, 3.2, "Grocery", "piece", "6191000003036", 65, 15, 10, 42, false, false},
    {"دقيق 1 كغ", "Flour 1 kg", 2.75, 1.9, "Grocery", "piece", "6191000003043", 40, 12, 10, 25, false, false},
    {"سكر 1 كغ", "Sugar 1 kg", 3.25, 2.5, "Grocery", "piece", "6191000003050", 85, 20, 10, 30, false, false},
    {"زيت زيتون 1 لتر", "Olive oil 1 L", 28.0, 22.0, "Grocery", "bottle", "6191000003067", 12, 4, 6, 160, false, false},
    {"زيت نباتي 1.8 لتر", "Sunflower oil 1.8 L", 11.5, 9.0, "Grocery", "bottle", "6191000003074", 48, 12, 6, 66, false, false},
    {"معجون طماطم 400 غ", "Tomato paste 400 g", 3.75, 2.6, "Grocery", "can", "6191000003081", 2, 12, 24, 84, false, false},
    {"تونة 160 غ", "Tuna 160 g", 5.5, 4.1, "Grocery", "can", "6191000003098", 72, 24, 48, 250, false, false},
    {"حمص معلب", "Canned chickpeas", 2.5, 1.7, "Grocery", "can", "6191000003104", 60, 12, 24, 55, false, false},
    {"عدس أحمر 1 كغ", "Red lentils 1 kg", 6.0, 4.4, "Grocery", "bag", "6191000003111", 35, 10, 0, 0, false, false},
    {"ملح طعام", "Table salt", 1.0, 0.5, "Grocery", "piece", "6191000003128", 55, 10, 0, 0, false, false},
    {"هريسة 380 غ", "Harissa 380 g", 4.25, 3.0, "Grocery", "jar", "6191000003135", 33, 8, 12, 48, false, false},
    {"شوكولاتة بالحليب", "Milk chocolate bar", 3.5, 2.3, "Snacks", "piece", "6191000004019", 90, 24, 24, 78, false, true},
    {"بسكويت بالتمر", "Date biscuits", 2.0, 1.2, "Snacks", "pack", "6191000004026", 75, 20, 12, 22, false, false},
    {"رقائق بطاطا", "Potato crisps", 1.75, 1.0, "Snacks", "bag", "6191000004033", 110, 30, 30, 48, false, true},
    {"فول سوداني محمص", "Roasted peanuts", 4.0, 2.7, "Snacks", "bag", "6191000004040", 5, 10, 0, 0, false, false},
    {"علكة بالنعناع", "Mint chewing gum", 1.0, 0.55, "Snacks", "pack", "6191000004057", 200, 40, 20, 18, false, false},
    {"حلوى مكسرات", "Nut brittle", 6.5, 4.2, "Snacks", "piece", "6191000004064", 18, 6, 0, 0, false, false},
    {"صابون سائل 500 مل", "Hand soap 500 ml", 5.0, 3.4, "Household", "bottle", "6191000005016", 28, 8, 12, 54, false, false},
    {"منظف أطباق 1 لتر", "Dish soap 1 L", 6.0, 4.1, "Household", "bottle", "6191000005023", 34, 8, 12, 66, false, false},
    {"مسحوق غسيل 3 كغ", "Laundry powder 3 kg", 24.0, 18.5, "Household", "bag", "6191000005030", 16, 5, 0, 0, false, false},
    {"مناديل ورقية", "Paper tissues", 2.5, 1.6, "Household", "box", "6191000005047", 70, 20, 10, 23, false, false},
    {"ورق تواليت 12 لفة", "Toilet paper, 12 rolls", 13.0, 9.8, "Household", "pack", "6191000005054", 3, 6, 0, 0, false, false},
    {"أكياس قمامة", "Bin bags", 4.5, 2.9, "Household", "roll", "6191000005061", 44, 10, 0, 0, false, false},
    {"معطر جو", "Air freshener", 7.0, 4.8, "Household", "can", "6191000005078", 21, 6, 0, 0, false, false},
    {"معجون أسنان", "Toothpaste 100 ml", 5.5, 3.7, "Personal care", "piece", "6191000006013", 38, 10, 12, 60, false, false},
    {"شامبو 400 مل", "Shampoo 400 ml", 12.5, 9.0, "Personal care", "bottle", "6191000006020", 24, 6, 0, 0, false, false},
    {"فرشاة أسنان", "Toothbrush", 3.0, 1.6, "Personal care", "piece", "6191000006037", 50, 12, 0, 0, false, false},
    {"حفاضات أطفال", "Baby nappies", 35.0, 28.0, "Personal care", "pack", "6191000006044", 9, 4, 0, 0, false, false},
    {"كيس تسوق", "Shopping bag", 0.25, 0.1, "Services", "piece", "2000000009001", 0, 0, 0, 0, false, true},
    {"بطاقة شحن 10", "Top-up card 10", 10.0, 9.5, "Services", "card", "2000000009018", 100, 20, 0, 0, false, false},
    {"توصيل منزلي", "Home delivery", 5.0, 0.0, "Services", "service", "2000000009025", 0, 0, 0, 0, false, false},
}};

struct DemoClient {
  const char* name;
  const char* phone;
  double wallet;
  int points;
};

constexpr std::array<DemoClient, 8> kClients = {{
    {"أحمد المبروك", "+218911234567", 150.0, 320},
    {"Fatima Al-Senussi", "+218922345678", 75.5, 80},
    {"محمد الترهوني", "+218913456789", 0.0, 15},
    {"Salma Ben Omran", "+218924567890", 20.0, 0},
    {"شركة النور للمقاولات", "+218215551234", 0.0, 0},
    {"Omar Al-Fitouri", "+218915678901", 500.0, 1200},
    {"هدى الزوي", "+218926789012", 12.25, 45},
    {"Khaled Buzaid", "+218917890123", 0.0, 0},
}};

// The demo store card's identifier as a reader types it; its hash binds it to the tenant.
constexpr const char* kCardId = "041277889911";
constexpr const char* kOverridePin = "246810";

json override_pin() {
  const auto salt = util::random_bytes(16);
  constexpr int iterations = 100000;
  return {{"salt", util::base64_encode(salt)},
          {"hash", util::base64_encode(util::pbkdf2_sha256(kOverridePin, salt, iterations, 32))},
          {"iterations", iterations}};
}

json demo_settings() {
  json s = default_company_settings("LYD");
  s["currencies"] = json::array({{{"code", "LYD"}, {"symbol", "د.ل"}, {"rate", 1}, {"base", true}, {"default", true}},
                                 {{"code", "USD"}, {"symbol", "$"}, {"rate", 4.85}, {"base", false}, {"default", false}}});
  s["pos_methods"] = json::array({{{"key", "mobile_pay"}, {"label", "Mobile pay"}}});
  s["loyalty"] = {{"enabled", true}, {"point_value", 0.1}, {"max_redeem_percent", 50},
                  {"min_redeem", 10}, {"earn_rate", 0.1}};
  s["pos"] = {{"allow_negative_stock", false},
              {"override_pin", override_pin()},
              {"daily_goal", 2500},
              {"informal_allowed", true},
              {"formal_default", true},
              {"terminals", json::array({{{"id", 1}, {"name", "Till 1"}}, {{"id", 2}, {"name", "Till 2"}}})}};
  s["commercial_register"] = {{"ar", "سجل تجاري رقم 30512"}, {"en", "Commercial register 30512"}};
  s["vertical"] = {{"key", "general"}, {"labels", json::object()}};
  return s;
}

void seed_products(sync::Records& records) {
  int quick_order = 0;
  for (std::size_t i = 0; i < kProducts.size(); ++i) {
    const auto& p = kProducts[i];
    const bool arabic_first = i % 2 == 0;
    json d = {{"type", std::string(p.category) == "Services" ? "service" : "product"},
              {"name", arabic_first ? p.ar : p.en},
              {"description", arabic_first ? p.en : p.ar},
              {"sku", p.sku},
              {"price", p.price},
              {"cost_price", p.cost},
              {"unit", p.unit},
              {"category", p.category},
              {"stock", p.stock},
              {"stock_alert", p.alert},
              {"is_active", 1},
              {"pos_quick", p.quick ? 1 : 0},
              {"pos_quick_order", p.quick ? json(++quick_order) : json()},
              {"box_pieces", p.box_pieces},
              {"box_price", p.box_pieces ? json(p.box_price) : json()},
              {"box_barcode", p.box_pieces ? json(std::string("9") + p.sku) : json()},
              {"is_non_depleting", std::string(p.category) == "Services" ? 1 : 0}};
    if (p.weighed) d["weighed"] = true;
    records.put("product", util::new_uuid(), std::move(d));
  }
}

void seed_clients(sync::Records& records, std::int64_t tenant_id) {
  for (std::size_t i = 0; i < kClients.size(); ++i) {
    const auto& c = kClients[i];
    json cards = json::array();
    if (i == 0)
      cards.push_back({{"uuid", util::new_uuid()},
                       {"hash", util::sha256_hex("tovik-card:v1:" + std::to_string(tenant_id) + ":" + kCardId)},
                       {"status", "active"},
                       {"offline_limit", 50},
                       {"last4", std::string(kCardId).substr(8)}});
    records.put("client", util::new_uuid(),
                {{"name", c.name}, {"phone", c.phone}, {"whatsapp_number", c.phone}, {"email", nullptr},
                 {"company", i == 4 ? json("شركة النور للمقاولات") : json()}, {"address", "طرابلس"},
                 {"tax_number", nullptr}, {"locale", "ar"}, {"wallet_balance", c.wallet},
                 {"loyalty_points", c.points}, {"wallet_cards", cards}});
  }
}

}  // namespace

bool seed_demo(store::Database& db, bool fast_hash) {
  bool seeded = false;
  db.write([&](store::Tx& tx) {
    if (tx.one("SELECT COUNT(*) AS n FROM companies")->integer("n") > 0) return;
    const auto store_id = create_company(tx, "Tovik Demo Store", demo_settings());
    const auto cafe_settings = [] {
      json s = default_company_settings("LYD");
      s["pos"]["daily_goal"] = 800;
      return s;
    }();
    const auto cafe_id = create_company(tx, "Tovik Demo Café", cafe_settings);

    const auto owner = create_user(tx, {"owner@demo.test", "demo-owner-1", "Demo Owner", "owner", false}, fast_hash);
    const auto cashier = create_user(tx, {"cashier@demo.test", "demo-cashier-1", "Demo Cashier", "cashier", false}, fast_hash);
    Membership owner_m;
    owner_m.features = {{"cashier", false}, {"override_stock", true}, {"restock", true}};
    owner_m.permissions = {{"treasury_manage", true}, {"payables_manage", true}};
    add_member(tx, owner, store_id, owner_m);
    add_member(tx, owner, cafe_id, owner_m);
    Membership cashier_m;
    cashier_m.role = "staff";
    cashier_m.abilities = json::array({"sync", "pos"});
    cashier_m.features = {{"cashier", true}, {"override_stock", false}, {"restock", false}};
    cashier_m.permissions = {{"treasury_manage", false}, {"payables_manage", false}};
    add_member(tx, cashier, store_id, cashier_m);

    sync::Records records(tx, store_id);
    seed_products(records);
    seed_clients(records, store_id);
    for (const auto& [name, icon, color] : {std::tuple{"Packaging", "📦", "#a7f3d0"}, {"Cleaning", "🧽", "#bfdbfe"}})
      records.put("expense_category", util::new_uuid(), {{"name", name}, {"icon", icon}, {"color", color}, {"sort_order", 0}});

    sync::Records cafe(tx, cafe_id);
    for (const auto& [name, price] : {std::pair{"قهوة إسبريسو", 3.0}, {"Cappuccino", 4.5}, {"شاي بالنعناع", 2.0}, {"Croissant", 2.5}})
      cafe.put("product", util::new_uuid(),
               {{"type", "product"}, {"name", name}, {"price", price}, {"stock", 100}, {"stock_alert", 10},
                {"is_active", 1}, {"pos_quick", 1}, {"box_pieces", 0}, {"is_non_depleting", 0}});
    seeded = true;
  });
  return seeded;
}

}  // namespace tovik::admin
