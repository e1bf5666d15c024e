#include "api/versions.hpp"

#include <fstream>
#include <sstream>

#include "api/settings.hpp"
#include "util/version_compare.hpp"

namespace tovik::api {

namespace {

// The client's platform word and the updater's target name for the desktop build.
std::string platform_key(const std::string& platform) {
  if (platform == "android") return "android-universal";
  return "windows-x86_64";
}

struct Release {
  std::string version, notes, pub_date;
};

// The newest release; with `platform`, the newest that has a file for it.
std::optional<Release> newest_release(store::Tx& tx, const std::string& platform) {
  std::optional<Release> best;
  for (const auto& row : tx.query("SELECT r.version, r.notes, r.pub_date FROM releases r WHERE $1 = '' "
                                  "OR EXISTS (SELECT 1 FROM release_files f WHERE f.version = r.version "
                                  "AND f.platform = $1)",
                                  {platform})) {
    Release r{row.text("version"), row.text("notes"), row.text("pub_date")};
    if (!best || util::is_older_version(best->version, r.version)) best = r;
  }
  return best;
}

std::string file_url(const std::string& base, const std::string& version,
                     const std::string& platform, const std::string& name) {
  return base + "/app-updates/files/" + http::url_encode(version) + "/" + platform + "/" +
         http::url_encode(name);
}

}  // namespace

json version_info(store::Tx& tx, const std::string& platform, const std::string& current_version,
                  const std::string& base_url) {
  const auto min_version = settings::get(tx, "min_version", "0.0.0");
  const auto key = platform_key(platform);
  json release = nullptr;
  bool available = false;
  // A version announced without a build for this platform still counts as available; the
  // desktop downloads through the update route, which only offers published files.
  if (auto r = newest_release(tx, "")) {
    auto file = tx.one("SELECT file_name, sha256 FROM release_files WHERE version = $1 AND platform = $2",
                       {r->version, key});
    release = {{"kind", platform.empty() ? "windows" : platform},
               {"version", r->version},
               {"url", file ? json(file_url(base_url, r->version, key, file->text("file_name"))) : json()},
               {"sha256", file ? json(file->text("sha256")) : json()},
               {"notes", r->notes}};
    available = util::is_older_version(current_version, r->version);
  }
  return {{"update_required", util::is_older_version(current_version, min_version)},
          {"min_version", min_version},
          {"update_available", available},
          {"release", release}};
}

void register_version_routes(Api& api, http::Router& router) {
  App& app = api.app();

  // Update checks stay answerable during maintenance: a client may need the fix to come back.
  router.add("GET", std::string(kBase) + "/app/version", [&app](http::Request& req) {
    auto platform = req.query_value("platform");
    if (platform.empty()) platform = req.header("X-App-Platform");
    auto version = req.query_value("version");
    if (version.empty()) version = req.header("X-App-Version");
    json info;
    app.db.read([&](store::Tx& tx) { info = version_info(tx, platform, version, public_base(req)); });
    return http::json_reply(200, info);
  });

  router.add("GET", "/app-updates/tauri/{target}/{arch}/{current_version}", [&app](http::Request& req) {
    const auto platform = req.params["target"] + "-" + req.params["arch"];
    const auto current = req.params["current_version"];
    http::Response reply;
    reply.status = 204;
    reply.content_type.clear();
    app.db.read([&](store::Tx& tx) {
      auto r = newest_release(tx, platform);
      if (!r || !util::is_older_version(current, r->version)) return;
      auto file = tx.one("SELECT file_name, signature FROM release_files WHERE version = $1 AND platform = $2",
                         {r->version, platform});
      json platforms = json::object();
      platforms[platform] = {{"url", file_url(public_base(req), r->version, platform, file->text("file_name"))},
                             {"signature", file->text("signature")}};
      reply = http::json_reply(200, {{"version", r->version},
                                     {"notes", r->notes},
                                     {"pub_date", r->pub_date},
                                     {"platforms", platforms}});
    });
    return reply;
  });

  router.add("GET", "/app-updates/files/{version}/{platform}/{name}", [&app](http::Request& req) {
    std::string path;
    app.db.read([&](store::Tx& tx) {
      auto row = tx.one("SELECT file_path FROM release_files WHERE version = $1 AND platform = $2 "
                        "AND file_name = $3",
                        {req.params["version"], req.params["platform"], req.params["name"]});
      if (row) path = row->text("file_path");
    });
    std::ifstream in(path, std::ios::binary);
    if (path.empty() || !in) return http::error_reply(404, "No such release file.");
    std::ostringstream bytes;
    bytes << in.rdbuf();
    http::Response reply;
    reply.content_type = "application/octet-stream";
    reply.body = bytes.str();
    reply.set_header("Content-Disposition", "attachment; filename=\"" + req.params["name"] + "\"");
    return reply;
  });
}

}  // namespace tovik::api
