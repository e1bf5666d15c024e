#include "store/schema.hpp"

namespace tovik::store {

const std::vector<std::string_view>& sqlite_schema() {
  static const std::vector<std::string_view> statements = {
      R"(CREATE TABLE IF NOT EXISTS settings (key TEXT PRIMARY KEY, value TEXT NOT NULL))",
      R"(CREATE TABLE IF NOT EXISTS companies (
        id INTEGER PRIMARY KEY AUTOINCREMENT, tenant_id INTEGER NOT NULL, name TEXT NOT NULL,
        data_epoch INTEGER NOT NULL DEFAULT 1, change_seq INTEGER NOT NULL DEFAULT 0,
        settings_json TEXT NOT NULL DEFAULT '{}', created_at TEXT NOT NULL))",
      R"(CREATE TABLE IF NOT EXISTS users (
        id INTEGER PRIMARY KEY AUTOINCREMENT, email TEXT NOT NULL UNIQUE, username TEXT UNIQUE,
        name TEXT NOT NULL, password_hash TEXT NOT NULL, otp_enabled INTEGER NOT NULL DEFAULT 0,
        suspended INTEGER NOT NULL DEFAULT 0, suspension_message TEXT,
        default_company_id INTEGER, created_at TEXT NOT NULL))",
      R"(CREATE TABLE IF NOT EXISTS memberships (
        user_id INTEGER NOT NULL, company_id INTEGER NOT NULL, role TEXT NOT NULL,
        abilities_json TEXT NOT NULL, features_json TEXT NOT NULL, permissions_json TEXT NOT NULL,
        perm_version INTEGER NOT NULL DEFAULT 1, PRIMARY KEY (user_id, company_id)))",
      R"(CREATE TABLE IF NOT EXISTS sessions (
        id INTEGER PRIMARY KEY AUTOINCREMENT, user_id INTEGER NOT NULL,
        token_hash TEXT NOT NULL UNIQUE, device_name TEXT, platform TEXT, ip TEXT,
        created_at TEXT NOT NULL, last_active_unix INTEGER NOT NULL, revoked_at TEXT))",
      R"(CREATE INDEX IF NOT EXISTS sessions_user ON sessions (user_id))",
      R"(CREATE TABLE IF NOT EXISTS login_challenges (
        challenge_hash TEXT PRIMARY KEY, user_id INTEGER NOT NULL, code_hash TEXT NOT NULL,
        device_name TEXT, platform TEXT, ip TEXT, expires_unix INTEGER NOT NULL,
        attempts INTEGER NOT NULL DEFAULT 0))",
      R"(CREATE TABLE IF NOT EXISTS password_resets (
        user_id INTEGER PRIMARY KEY, code_hash TEXT NOT NULL, expires_unix INTEGER NOT NULL,
        attempts INTEGER NOT NULL DEFAULT 0))",
      R"(CREATE TABLE IF NOT EXISTS mail_log (
        id INTEGER PRIMARY KEY AUTOINCREMENT, email TEXT NOT NULL, subject TEXT NOT NULL,
        code TEXT, created_at TEXT NOT NULL))",
      R"(CREATE TABLE IF NOT EXISTS records (
        id INTEGER PRIMARY KEY AUTOINCREMENT, company_id INTEGER NOT NULL, kind TEXT NOT NULL,
        uuid TEXT NOT NULL UNIQUE, parent_uuid TEXT, shift_uuid TEXT, version TEXT NOT NULL,
        seq INTEGER NOT NULL, deleted INTEGER NOT NULL DEFAULT 0, data_json TEXT NOT NULL,
        created_at TEXT NOT NULL, updated_at TEXT NOT NULL))",
      R"(CREATE INDEX IF NOT EXISTS records_seq ON records (company_id, seq))",
      R"(CREATE INDEX IF NOT EXISTS records_parent ON records (company_id, kind, parent_uuid))",
      R"(CREATE INDEX IF NOT EXISTS records_shift ON records (company_id, shift_uuid))",
      R"(CREATE TABLE IF NOT EXISTS applied_ops (
        company_id INTEGER NOT NULL, op_id TEXT NOT NULL, result_json TEXT NOT NULL,
        created_at TEXT NOT NULL, PRIMARY KEY (company_id, op_id)))",
      R"(CREATE TABLE IF NOT EXISTS counters (
        company_id INTEGER NOT NULL, series TEXT NOT NULL, value INTEGER NOT NULL,
        PRIMARY KEY (company_id, series)))",
      R"(CREATE TABLE IF NOT EXISTS notifications (
        id INTEGER PRIMARY KEY AUTOINCREMENT, user_id INTEGER NOT NULL, company_id INTEGER,
        title TEXT NOT NULL, message TEXT, type TEXT NOT NULL, created_at TEXT NOT NULL))",
      R"(CREATE INDEX IF NOT EXISTS notifications_user ON notifications (user_id, id))",
      R"(CREATE TABLE IF NOT EXISTS events (
        id INTEGER PRIMARY KEY AUTOINCREMENT, channel TEXT NOT NULL, event TEXT NOT NULL,
        payload_json TEXT NOT NULL, created_at TEXT NOT NULL))",
      R"(CREATE TABLE IF NOT EXISTS web_sessions (
        token_hash TEXT PRIMARY KEY, user_id INTEGER NOT NULL, company_id INTEGER,
        lang TEXT, target TEXT, expires_unix INTEGER NOT NULL, used_at TEXT))",
      R"(CREATE TABLE IF NOT EXISTS releases (
        version TEXT PRIMARY KEY, notes TEXT, pub_date TEXT NOT NULL))",
      R"(CREATE TABLE IF NOT EXISTS release_files (
        version TEXT NOT NULL, platform TEXT NOT NULL, file_path TEXT NOT NULL,
        file_name TEXT NOT NULL, sha256 TEXT NOT NULL, signature TEXT NOT NULL,
        PRIMARY KEY (version, platform)))",
  };
  return statements;
}

}  // namespace tovik::store
