// Sign-in, sessions and the server-wide rules (401, 426, 503, permissions hash) over HTTP
// against a real server process.
#include <gtest/gtest.h>

#include <fstream>

#include "tests/support/server_suite.hpp"
#include "tests/support/session.hpp"

using namespace tovik::testing;

namespace {

class AccountsTest : public ServerSuite<AccountsTest> {};

TEST_F(AccountsTest, SignInGivesTokenAndFullProfile) {
  auto client = sign_in(server(), kOwner, kOwnerPassword);
  const auto me = client.api("GET", "/me");
  ASSERT_EQ(me.status, 200);
  const auto user = me.json_body()["user"];
  EXPECT_EQ(user["email"], kOwner);
  EXPECT_EQ(user["role"], "owner");
  EXPECT_EQ(user["abilities"], json::array({"*"}));
  EXPECT_EQ(user["permissions"]["treasury_manage"], true);
  EXPECT_EQ(user["companies"].size(), 2u);
  const auto tenant = user["tenant"];
  EXPECT_EQ(tenant["currency"], "LYD");
  EXPECT_EQ(tenant["currencies"].size(), 2u);
  EXPECT_EQ(tenant["data_epoch"], 1);
  EXPECT_EQ(tenant["pos"]["terminals"].size(), 2u);
  EXPECT_TRUE(tenant["pos"]["override_pin"].contains("hash"));
  EXPECT_EQ(me.header("x-permissions-hash"), user["permissions_hash"]);

  // Another company of the user is opened with X-Company-Id; a foreign one is refused.
  const auto cafe = client.api("GET", "/me", nullptr, {{"X-Company-Id", "2"}});
  EXPECT_EQ(cafe.json_body()["user"]["tenant"]["company_name"], "Tovik Demo Café");
  EXPECT_EQ(client.api("GET", "/me", nullptr, {{"X-Company-Id", "999"}}).status, 403);
}

TEST_F(AccountsTest, WrongPasswordAndUnknownTokenAreRefused) {
  HttpClient client(server().port());
  const auto bad = client.api("POST", "/login", {{"email", kOwner}, {"password", "nope"}});
  EXPECT_EQ(bad.status, 422);
  EXPECT_FALSE(bad.json_body().contains("token"));
  EXPECT_FALSE(bad.json_body().value("message", "").empty());
  client.token = "tvk_not-a-token";
  const auto me = client.api("GET", "/me");
  EXPECT_EQ(me.status, 401);
  EXPECT_FALSE(me.json_body().contains("error_code"));
}

TEST_F(AccountsTest, SecondFactorSignIn) {
  server().admin({"create-user", "--email", "otp@demo.test", "--password", "otp-user-pass", "--name", "Otp User",
                  "--company", "1", "--otp"});
  HttpClient client(server().port());
  const auto first = client.api("POST", "/login", {{"email", "otp@demo.test"}, {"password", "otp-user-pass"}});
  ASSERT_EQ(first.status, 202);
  const auto body = first.json_body();
  EXPECT_EQ(body["otp_required"], true);
  EXPECT_FALSE(body["message"].get<std::string>().empty());
  EXPECT_FALSE(body.contains("token"));
  const auto code = server().admin({"mail", "--email", "otp@demo.test"})["mail"]["code"].get<std::string>();

  const auto wrong = client.api("POST", "/login/otp", {{"challenge", body["challenge"]}, {"code", code == "000000" ? "111111" : "000000"}});
  EXPECT_EQ(wrong.status, 422);
  const auto ok = client.api("POST", "/login/otp", {{"challenge", body["challenge"]}, {"code", code}});
  ASSERT_EQ(ok.status, 200) << ok.body;
  EXPECT_EQ(ok.json_body()["user"]["email"], "otp@demo.test");
  // A challenge is good for one sign-in only.
  EXPECT_EQ(client.api("POST", "/login/otp", {{"challenge", body["challenge"]}, {"code", code}}).status, 422);
}

TEST_F(AccountsTest, SuspendedAccountCannotSignInAndLosesItsSession) {
  server().admin({"create-user", "--email", "late@demo.test", "--password", "late-payer-1", "--name", "Late", "--company", "1"});
  auto client = sign_in(server(), "late@demo.test", "late-payer-1");
  server().admin({"suspend", "--email", "late@demo.test", "--message", "Your plan expired."});

  const auto check = client.api("POST", "/session/status", json::object());
  EXPECT_EQ(check.status, 401);
  EXPECT_EQ(check.json_body()["error_code"], "ACCOUNT_SUSPENDED");
  EXPECT_EQ(check.json_body()["message"], "Your plan expired.");
  HttpClient fresh(server().port());
  const auto login = fresh.api("POST", "/login", {{"email", "late@demo.test"}, {"password", "late-payer-1"}});
  EXPECT_EQ(login.json_body()["error_code"], "ACCOUNT_SUSPENDED");
  EXPECT_FALSE(login.json_body().contains("token"));

  server().admin({"restore", "--email", "late@demo.test"});
  EXPECT_EQ(client.api("POST", "/session/status", json::object()).status, 200);
}

TEST_F(AccountsTest, DeviceSessionsCanBeListedAndRevoked) {
  auto laptop = sign_in(server(), kCashier, kCashierPassword, "laptop");
  auto till = sign_in(server(), kCashier, kCashierPassword, "till");
  const auto list = till.api("GET", "/sessions").json_body()["sessions"];
  ASSERT_GE(list.size(), 2u);
  std::string laptop_key;
  int current = 0;
  for (const auto& s : list) {
    current += s["current"].get<bool>();
    if (s["device"] == "laptop") laptop_key = s["key"];
  }
  EXPECT_EQ(current, 1);
  ASSERT_FALSE(laptop_key.empty());
  EXPECT_EQ(till.api("DELETE", "/sessions/" + laptop_key).status, 200);
  const auto gone = laptop.api("POST", "/session/status", json::object());
  EXPECT_EQ(gone.status, 401);
  EXPECT_EQ(gone.json_body()["error_code"], "SESSION_REVOKED");
  EXPECT_EQ(till.api("DELETE", "/sessions/" + laptop_key).status, 404);

  auto other = sign_in(server(), kCashier, kCashierPassword, "phone");
  EXPECT_EQ(till.api("POST", "/sessions/revoke-others").status, 200);
  EXPECT_EQ(other.api("GET", "/me").status, 401);
  EXPECT_EQ(till.api("GET", "/me").status, 200);
  EXPECT_EQ(till.api("POST", "/logout").status, 200);
  EXPECT_EQ(till.api("GET", "/me").status, 401);
}

TEST_F(AccountsTest, PasswordResetByCode) {
  server().admin({"create-user", "--email", "forgetful@demo.test", "--password", "old-password-1", "--name", "F", "--company", "1"});
  auto old_session = sign_in(server(), "forgetful@demo.test", "old-password-1");
  HttpClient client(server().port());
  EXPECT_EQ(client.api("POST", "/password/forgot", {{"email", "forgetful@demo.test"}}).status, 200);
  // Unknown addresses get the same answer.
  EXPECT_EQ(client.api("POST", "/password/forgot", {{"email", "nobody@demo.test"}}).status, 200);
  const auto code = server().admin({"mail", "--email", "forgetful@demo.test"})["mail"]["code"].get<std::string>();

  const auto mismatch = client.api("POST", "/password/reset", {{"email", "forgetful@demo.test"}, {"code", code},
                                                               {"password", "new-password-1"}, {"password_confirmation", "other"}});
  EXPECT_EQ(mismatch.status, 422);
  EXPECT_TRUE(mismatch.json_body()["errors"].contains("password"));
  const auto ok = client.api("POST", "/password/reset", {{"email", "forgetful@demo.test"}, {"code", code},
                                                         {"password", "new-password-1"}, {"password_confirmation", "new-password-1"}});
  EXPECT_EQ(ok.status, 200) << ok.body;
  EXPECT_EQ(old_session.api("GET", "/me").status, 401);
  sign_in(server(), "forgetful@demo.test", "new-password-1");
}

TEST_F(AccountsTest, SignInLockoutCountsTheAccountWhateverNameReachedIt) {
  server().admin({"create-user", "--email", "aliased@demo.test", "--password", "aliased-pass-1", "--name", "A",
                  "--company", "1", "--username", "alias"});
  HttpClient client(server().port());
  for (int i = 0; i < 10; ++i)
    EXPECT_EQ(client.api("POST", "/login", {{"email", i % 2 ? "ALIASED@demo.test" : "alias"}, {"password", "guess"}}).status, 422);
  // Locked by either name, even with the right password.
  EXPECT_EQ(client.api("POST", "/login", {{"email", "alias"}, {"password", "aliased-pass-1"}}).status, 429);
  EXPECT_EQ(client.api("POST", "/login", {{"email", "aliased@demo.test"}, {"password", "aliased-pass-1"}}).status, 429);
  // Other accounts are not locked by it.
  sign_in(server(), kOwner, kOwnerPassword);
}

TEST_F(AccountsTest, ANewResetCodeDoesNotBuyMoreGuessesAndCodesAreRationed) {
  server().admin({"create-user", "--email", "guessed@demo.test", "--password", "guessed-pass-1", "--name", "G", "--company", "1"});
  HttpClient client(server().port());
  auto reset = [&](const std::string& code) {
    return client.api("POST", "/password/reset", {{"email", "guessed@demo.test"}, {"code", code},
                                                   {"password", "taken-over-1"}, {"password_confirmation", "taken-over-1"}});
  };
  ASSERT_EQ(client.api("POST", "/password/forgot", {{"email", "guessed@demo.test"}}).status, 200);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(reset("000000").status, 422);
  ASSERT_EQ(client.api("POST", "/password/forgot", {{"email", "guessed@demo.test"}}).status, 200);
  const auto code = server().admin({"mail", "--email", "guessed@demo.test"})["mail"]["code"].get<std::string>();
  EXPECT_EQ(reset(code).status, 422);
  sign_in(server(), "guessed@demo.test", "guessed-pass-1");

  for (int i = 0; i < 3; ++i) EXPECT_EQ(client.api("POST", "/password/forgot", {{"email", "guessed@demo.test"}}).status, 200);
  EXPECT_EQ(client.api("POST", "/password/forgot", {{"email", "guessed@demo.test"}}).status, 429);
}

TEST_F(AccountsTest, PermissionsHashChangesAfterAnAdminChange) {
  auto client = sign_in(server(), kCashier, kCashierPassword);
  const auto before = client.api("GET", "/me").header("x-permissions-hash");
  ASSERT_FALSE(before.empty());
  EXPECT_EQ(client.api("POST", "/session/status", json::object()).header("x-permissions-hash"), before);
  server().admin({"permissions", "--email", kCashier, "--feature", "restock=true"});
  const auto after = client.api("GET", "/me");
  EXPECT_NE(after.header("x-permissions-hash"), before);
  EXPECT_EQ(after.json_body()["user"]["features"]["restock"], true);
  EXPECT_EQ(after.json_body()["user"]["permissions_hash"], after.header("x-permissions-hash"));
}

TEST_F(AccountsTest, OldClientVersionGets426AndVersionReply) {
  server().admin({"set-version", "--min", "1.44.0"});
  HttpClient anon(server().port());
  const auto refused = anon.api("POST", "/login", {{"email", kOwner}, {"password", kOwnerPassword}});
  EXPECT_EQ(refused.status, 426);
  EXPECT_EQ(refused.json_body()["update_required"], true);
  EXPECT_EQ(refused.json_body()["min_version"], "1.44.0");
  anon.app_version = "1.44.0";
  EXPECT_EQ(anon.api("POST", "/login", {{"email", kOwner}, {"password", kOwnerPassword}}).status, 200);

  const auto version = anon.request("GET", "/mobile/v2/app/version?platform=windows&version=1.43.0");
  EXPECT_EQ(version.status, 200);
  EXPECT_EQ(version.json_body()["update_required"], true);
  server().admin({"set-version", "--min", "1.0.0", "--latest", "1.43.5", "--notes", "Fixes"});
  const auto later = anon.request("GET", "/mobile/v2/app/version?platform=windows&version=1.43.0").json_body();
  EXPECT_EQ(later["update_required"], false);
  EXPECT_EQ(later["update_available"], true);
  EXPECT_EQ(later["release"]["version"], "1.43.5");
  EXPECT_TRUE(later["release"]["url"].is_null());
  // Nothing to download for it: the update route offers only published builds.
  EXPECT_EQ(anon.request("GET", "/app-updates/tauri/windows/x86_64/1.43.0").status, 204);
}

TEST_F(AccountsTest, MaintenanceAnswers503WithCodeAndStatusEndpointReportsIt) {
  auto client = sign_in(server(), kOwner, kOwnerPassword);
  server().admin({"maintenance", "on", "--message", "Back at 10:00"});
  const auto reply = client.api("GET", "/me");
  EXPECT_EQ(reply.status, 503);
  EXPECT_EQ(reply.json_body()["error_code"], "MAINTENANCE");
  EXPECT_EQ(reply.json_body()["message"], "Back at 10:00");
  const auto status = client.request("GET", "/api/status").json_body();
  EXPECT_EQ(status["maintenance"], true);
  EXPECT_EQ(status["message"], "Back at 10:00");

  server().admin({"maintenance", "off"});
  EXPECT_EQ(client.api("GET", "/me").status, 200);
  EXPECT_EQ(client.request("GET", "/api/status").json_body()["maintenance"], false);
}

TEST_F(AccountsTest, WebSessionLinkWorksOnce) {
  auto client = sign_in(server(), kOwner, kOwnerPassword);
  const auto reply = client.api("POST", "/web-session", {{"lang", "en"}, {"to", "inventory"}});
  ASSERT_EQ(reply.status, 200);
  const auto url = reply.json_body()["url"].get<std::string>();
  const auto path = url.substr(url.find("/portal/"));
  EXPECT_EQ(client.request("GET", path).status, 200);
  EXPECT_EQ(client.request("GET", path).status, 410);
}

TEST_F(AccountsTest, UpdateRouteServesTheSignedNewerBuild) {
  const auto keys = server().admin({"keygen", "--out", (server().dir() / "keys").string()});
  EXPECT_EQ(keys["public_key"].get<std::string>().size(), 152u);
  const auto installer = server().dir() / "TOVIK-pro-1.44.0-setup.exe";
  {
    std::ofstream out(installer, std::ios::binary);
    out << std::string(100000, 'x');
  }
  std::vector<std::string> args = {"release", "--version", "1.44.0", "--notes", "Faster sync", "--file",
                                   installer.string(), "--key", keys["secret_key_file"].get<std::string>()};
  // A SQLite store keeps them beside its file; a PostgreSQL store has no folder of its own.
  if (testing_postgres()) args.insert(args.end(), {"--files", (server().dir() / "releases").string()});
  const auto release = server().admin(args);
  ASSERT_EQ(release["ok"], true) << release.dump();

  HttpClient client(server().port());
  const auto update = client.request("GET", "/app-updates/tauri/windows/x86_64/1.43.0");
  ASSERT_EQ(update.status, 200);
  const auto body = update.json_body();
  EXPECT_EQ(body["version"], "1.44.0");
  EXPECT_EQ(body["notes"], "Faster sync");
  const auto platform = body["platforms"]["windows-x86_64"];
  EXPECT_EQ(platform["signature"], release["signature"]);
  const auto url = platform["url"].get<std::string>();
  const auto download = client.request("GET", url.substr(url.find("/app-updates/")));
  EXPECT_EQ(download.status, 200);
  EXPECT_EQ(download.body.size(), 100000u);

  EXPECT_EQ(client.request("GET", "/app-updates/tauri/windows/x86_64/1.44.0").status, 204);
  const auto version = client.request("GET", "/mobile/v2/app/version?platform=windows&version=1.43.0").json_body();
  EXPECT_EQ(version["update_available"], true);
  EXPECT_EQ(version["release"]["version"], "1.44.0");
  EXPECT_EQ(version["release"]["notes"], "Faster sync");
}

}  // namespace
