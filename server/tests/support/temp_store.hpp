#pragma once
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <stdexcept>

#include "admin/directory.hpp"
#include "store/database.hpp"

namespace tovik::testing {

// A fresh SQLite store in a temporary folder with one company (LYD base, USD second).
struct TempStore {
  TempStore() {
    char pattern[] = "/tmp/tovik-store-test-XXXXXX";
    if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
    dir = pattern;
    db = store::open_database("sqlite:" + (dir / "s.db").string());
    db->write([&](store::Tx& tx) {
      auto settings = admin::default_company_settings("LYD");
      settings["loyalty"] = {{"enabled", true}, {"point_value", 0.1}, {"earn_rate", 0.1}};
      company = admin::create_company(tx, "Test Shop", settings);
    });
  }
  ~TempStore() {
    db.reset();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  std::filesystem::path dir;
  std::unique_ptr<store::Database> db;
  std::int64_t company = 0;
};

}  // namespace tovik::testing
