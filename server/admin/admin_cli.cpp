#include "admin/admin_cli.hpp"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>

#include "admin/demo_seed.hpp"
#include "admin/directory.hpp"
#include "admin/update_signing.hpp"
#include "api/accounts.hpp"
#include "realtime/events.hpp"
#include "api/settings.hpp"
#include "util/clock.hpp"
#include "util/crypto.hpp"

namespace tovik::admin {

namespace {

const char* kUsage = R"(usage: tovik-server admin --db sqlite:PATH|postgresql://... [--fast-password-hash] COMMAND [options]
commands:
  maintenance on [--message TEXT] | maintenance off
  set-version [--min VERSION] [--latest VERSION [--notes TEXT]]
  keygen --out DIR
  release --version V --file PATH --key SECRET_KEY_FILE [--platform windows-x86_64] [--notes TEXT] [--files DIR]
  bump-epoch --company ID
  permissions --email E [--company ID] [--role R] [--abilities a,b] [--feature k=true|false]... [--permission k=true|false]...
  notify --email E --title TEXT [--message TEXT] [--type info|success|warning|danger|error|mail] [--company ID]
  revoke-session --email E (--session ID | --all)
  suspend --email E [--message TEXT] | restore --email E
  create-company --name NAME [--currency CODE] [--owner EMAIL]
  create-user --email E --password P --name NAME [--company ID] [--role R] [--cashier] [--otp] [--username U]
  mail --email E            (the last message sent to that address, with its code)
  sessions --email E
  seed demo
)";

// Options of one command: --key value pairs (repeatable) and bare flags.
struct Options {
  std::vector<std::string> positional;
  std::multimap<std::string, std::string> values;

  [[nodiscard]] std::string get(const std::string& key, const std::string& fallback = {}) const {
    const auto it = values.find(key);
    return it == values.end() ? fallback : it->second;
  }
  [[nodiscard]] std::string need(const std::string& key) const {
    const auto it = values.find(key);
    if (it == values.end() || it->second.empty()) throw std::invalid_argument("missing --" + key);
    return it->second;
  }
  [[nodiscard]] bool has(const std::string& key) const { return values.count(key) > 0; }
};

Options parse(const std::vector<std::string>& args, std::size_t from) {
  static const std::set<std::string> flags = {"all", "cashier", "otp", "fast-password-hash"};
  Options o;
  for (std::size_t i = from; i < args.size(); ++i) {
    const auto& a = args[i];
    if (a.rfind("--", 0) == 0) {
      const auto key = a.substr(2);
      if (flags.count(key)) o.values.emplace(key, "1");
      else if (i + 1 < args.size()) o.values.emplace(key, args[++i]);
      else throw std::invalid_argument("missing value for " + a);
    } else {
      o.positional.push_back(a);
    }
  }
  return o;
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void write_file(const std::filesystem::path& path, const std::string& text, bool secret) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("cannot write " + path.string());
  out << text;
  out.close();
  if (secret) std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

std::int64_t company_of(store::Tx& tx, const Options& o, std::int64_t user_id) {
  if (o.has("company")) return std::stoll(o.get("company"));
  auto row = tx.one("SELECT COALESCE(default_company_id, 0) AS id FROM users WHERE id = $1", {user_id});
  return row->integer("id");
}

void apply_flags(json& target, const Options& o, const std::string& key) {
  const auto range = o.values.equal_range(key);
  for (auto it = range.first; it != range.second; ++it) {
    const auto eq = it->second.find('=');
    if (eq == std::string::npos) throw std::invalid_argument("--" + key + " needs name=true|false");
    target[it->second.substr(0, eq)] = it->second.substr(eq + 1) == "true";
  }
}

json run(const std::string& db_address, const std::string& command, const Options& o, bool fast) {
  auto db = store::open_database(db_address);
  json out = {{"ok", true}, {"command", command}};

  if (command == "maintenance") {
    const auto mode = o.positional.empty() ? std::string() : o.positional[0];
    if (mode != "on" && mode != "off") throw std::invalid_argument("maintenance on|off");
    db->write([&](store::Tx& tx) {
      api::settings::put(tx, "maintenance", mode == "on" ? "1" : "0");
      api::settings::put(tx, "maintenance_message", mode == "on" ? o.get("message") : "");
    });
  } else if (command == "set-version") {
    if (!o.has("min") && !o.has("latest")) throw std::invalid_argument("give --min and/or --latest");
    db->write([&](store::Tx& tx) {
      if (o.has("min")) api::settings::put(tx, "min_version", o.need("min"));
      if (o.has("latest"))
        tx.exec("INSERT INTO releases (version, notes, pub_date) VALUES ($1, $2, $3) "
                "ON CONFLICT (version) DO UPDATE SET notes = excluded.notes",
                {o.need("latest"), o.get("notes"), util::iso_now()});
    });
  } else if (command == "keygen") {
    const std::filesystem::path dir = o.need("out");
    std::filesystem::create_directories(dir);
    const auto keys = generate_update_key();
    write_file(dir / "update.key", keys.secret_text, true);
    write_file(dir / "update.pub", keys.public_text, false);
    out["public_key"] = keys.public_base64;
    out["secret_key_file"] = (dir / "update.key").string();
  } else if (command == "release") {
    const auto version = o.need("version");
    const auto platform = o.get("platform", "windows-x86_64");
    const auto source = o.need("file");
    const auto bytes = read_file(source);
    const auto name = std::filesystem::path(source).filename().string();
    const auto signature = sign_update(read_file(o.need("key")), bytes, name);
    // Release files live beside a SQLite store, so that its folder is the whole server state. A
    // PostgreSQL store has no folder: the operator names one that every server process reads.
    std::filesystem::path root;
    if (o.has("files")) root = o.get("files");
    else if (db_address.rfind("sqlite:", 0) == 0)
      root = std::filesystem::absolute(db_address.substr(7)).parent_path() / "releases";
    else throw std::invalid_argument("release on a PostgreSQL store needs --files DIR, a folder every server process reads");
    const auto dir = std::filesystem::absolute(root) / version / platform;
    std::filesystem::create_directories(dir);
    write_file(dir / name, bytes, false);
    db->write([&](store::Tx& tx) {
      tx.exec("INSERT INTO releases (version, notes, pub_date) VALUES ($1, $2, $3) "
              "ON CONFLICT (version) DO UPDATE SET notes = excluded.notes",
              {version, o.get("notes"), util::iso_now()});
      tx.exec("INSERT INTO release_files (version, platform, file_path, file_name, sha256, signature) "
              "VALUES ($1, $2, $3, $4, $5, $6) ON CONFLICT (version, platform) DO UPDATE SET "
              "file_path = excluded.file_path, file_name = excluded.file_name, sha256 = excluded.sha256, "
              "signature = excluded.signature",
              {version, platform, (dir / name).string(), name, util::sha256_hex(bytes), signature});
    });
    out["signature"] = signature;
  } else if (command == "bump-epoch") {
    const auto company = std::stoll(o.need("company"));
    db->write([&](store::Tx& tx) {
      auto row = tx.one("UPDATE companies SET data_epoch = data_epoch + 1 WHERE id = $1 RETURNING data_epoch", {company});
      if (!row) throw std::runtime_error("no company " + std::to_string(company));
      out["data_epoch"] = row->integer("data_epoch");
    });
  } else if (command == "permissions") {
    db->write([&](store::Tx& tx) {
      const auto user = user_id_by_email(tx, o.need("email"));
      const auto company = company_of(tx, o, user);
      auto m = tx.one("SELECT role, abilities_json, features_json, permissions_json FROM memberships "
                      "WHERE user_id = $1 AND company_id = $2", {user, company});
      if (!m) throw std::runtime_error("the user is not a member of that company");
      Membership next;
      next.role = o.get("role", m->text("role"));
      next.abilities = json::parse(m->text("abilities_json"));
      if (o.has("abilities")) {
        next.abilities = json::array();
        std::stringstream list(o.get("abilities"));
        for (std::string a; std::getline(list, a, ',');) next.abilities.push_back(a);
      }
      next.features = json::parse(m->text("features_json"));
      next.permissions = json::parse(m->text("permissions_json"));
      apply_flags(next.features, o, "feature");
      apply_flags(next.permissions, o, "permission");
      add_member(tx, user, company, next);  // raises perm_version, so the hash changes
      realtime::events::publish(tx, realtime::events::user_channel(user), "permissions.updated", {{"company_id", company}});
    });
  } else if (command == "notify") {
    db->write([&](store::Tx& tx) {
      const auto user = user_id_by_email(tx, o.need("email"));
      const auto company = o.has("company") ? std::stoll(o.get("company")) : 0;
      out["notification"] = realtime::events::notify(tx, user, company, o.need("title"), o.get("message"), o.get("type", "info"));
    });
  } else if (command == "revoke-session") {
    db->write([&](store::Tx& tx) {
      const auto user = user_id_by_email(tx, o.need("email"));
      if (!o.has("all") && !o.has("session")) throw std::invalid_argument("give --session ID or --all");
      out["revoked"] = api::revoke_sessions(tx, user, o.has("all") ? 0 : std::stoll(o.get("session")), 0);
    });
  } else if (command == "suspend" || command == "restore") {
    db->write([&](store::Tx& tx) {
      const auto user = user_id_by_email(tx, o.need("email"));
      const bool suspend = command == "suspend";
      tx.exec("UPDATE users SET suspended = $1, suspension_message = $2 WHERE id = $3",
              {std::int64_t{suspend ? 1 : 0},
               suspend ? store::Value(o.get("message", "This account is suspended.")) : store::Value(nullptr), user});
      // Signed-in devices learn at their next session check.
      if (suspend) realtime::events::publish(tx, realtime::events::user_channel(user), "access.check", json::object());
    });
  } else if (command == "create-company") {
    db->write([&](store::Tx& tx) {
      const auto id = create_company(tx, o.need("name"), default_company_settings(o.get("currency", "LYD")));
      if (o.has("owner")) add_member(tx, user_id_by_email(tx, o.get("owner")), id, Membership{});
      out["company_id"] = id;
    });
  } else if (command == "create-user") {
    db->write([&](store::Tx& tx) {
      const auto id = create_user(tx, {o.need("email"), o.need("password"), o.need("name"), o.get("username"), o.has("otp")}, fast);
      if (o.has("otp")) tx.exec("UPDATE users SET otp_enabled = 1 WHERE id = $1", {id});
      if (o.has("company")) {
        Membership m;
        m.role = o.get("role", "owner");
        if (o.has("cashier")) {
          m.abilities = json::array({"sync", "pos"});
          m.features = {{"cashier", true}};
        }
        add_member(tx, id, std::stoll(o.get("company")), m);
      }
      out["user_id"] = id;
    });
  } else if (command == "mail") {
    db->read([&](store::Tx& tx) {
      auto row = tx.one("SELECT email, subject, code, created_at FROM mail_log WHERE lower(email) = lower($1) "
                        "ORDER BY id DESC LIMIT 1", {o.need("email")});
      if (!row) throw std::runtime_error("no message was sent to that address");
      out["mail"] = {{"email", row->text("email")}, {"subject", row->text("subject")},
                     {"code", row->text("code")}, {"created_at", row->text("created_at")}};
    });
  } else if (command == "sessions") {
    db->read([&](store::Tx& tx) {
      const auto user = user_id_by_email(tx, o.need("email"));
      json list = json::array();
      for (const auto& s : tx.query("SELECT id, device_name, revoked_at FROM sessions WHERE user_id = $1 ORDER BY id", {user}))
        list.push_back({{"id", s.integer("id")}, {"device", s.text("device_name")}, {"revoked", !s.is_null("revoked_at")}});
      out["sessions"] = list;
    });
  } else if (command == "seed") {
    if (o.positional.empty() || o.positional[0] != "demo") throw std::invalid_argument("seed demo");
    out["seeded"] = seed_demo(*db, fast);
  } else {
    throw std::invalid_argument("unknown command " + command);
  }
  return out;
}

}  // namespace

int run_admin(const std::vector<std::string>& args) {
  std::string db_address, command;
  std::vector<std::string> rest;
  bool fast = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--db" && i + 1 < args.size() && db_address.empty()) db_address = args[++i];
    else if (args[i] == "--fast-password-hash") fast = true;
    else if (command.empty() && args[i].rfind("--", 0) != 0) command = args[i];
    else rest.push_back(args[i]);
  }
  if (db_address.empty() || command.empty()) {
    std::cerr << kUsage;
    return 2;
  }
  try {
    std::cout << run(db_address, command, parse(rest, 0), fast).dump() << "\n";
    return 0;
  } catch (const std::invalid_argument& e) {
    std::cerr << "admin: " << e.what() << "\n" << kUsage;
    return 2;
  } catch (const std::exception& e) {
    std::cout << json({{"ok", false}, {"command", command}, {"message", e.what()}}).dump() << "\n";
    return 1;
  }
}

}  // namespace tovik::admin
