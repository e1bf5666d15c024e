#include <gtest/gtest.h>

#include "http/router.hpp"

using namespace tovik::http;

TEST(RouterTest, MatchesMethodAndPlaceholdersAndReportsMisses) {
  Router router;
  router.add("GET", "/mobile/v2/me", [](Request&) { return json_reply(200, {{"route", "me"}}); });
  router.add("DELETE", "/mobile/v2/sessions/{key}", [](Request& r) { return json_reply(200, {{"key", r.params["key"]}}); });
  router.add("GET", "/app-updates/tauri/{target}/{arch}/{current_version}", [](Request& r) {
    return json_reply(200, {{"v", r.params["current_version"]}, {"t", r.params["target"]}});
  });

  struct Case {
    const char* method;
    const char* path;
    int status;
    const char* body;
  };
  const Case cases[] = {
      {"GET", "/mobile/v2/me", 200, R"({"route":"me"})"},
      {"GET", "/mobile/v2/me/", 200, R"({"route":"me"})"},
      {"DELETE", "/mobile/v2/sessions/token%3A42", 200, R"({"key":"token:42"})"},
      {"GET", "/app-updates/tauri/windows/x86_64/1.43.0", 200, R"({"t":"windows","v":"1.43.0"})"},
      {"POST", "/mobile/v2/me", 405, nullptr},
      {"GET", "/mobile/v2/sessions", 404, nullptr},
      {"GET", "/mobile/v2/sessions/a/b", 404, nullptr},
  };
  for (const auto& c : cases) {
    Request request;
    request.method = c.method;
    request.path = c.path;
    const auto reply = router.dispatch(request);
    EXPECT_EQ(reply.status, c.status) << c.method << " " << c.path;
    if (c.body) EXPECT_EQ(reply.body, c.body) << c.path;
    else EXPECT_NE(reply.body.find("\"message\""), std::string::npos) << c.path;
  }
  EXPECT_THROW(router.add("GET", "/mobile/v2/me", [](Request&) { return Response{}; }), std::logic_error);
}

TEST(RouterTest, AnswersCrossOriginPreflightsAndMarksEveryReply) {
  Router router;
  router.add("POST", "/mobile/v2/login", [](Request&) { return json_reply(200, {}); });
  Request preflight;
  preflight.method = "OPTIONS";
  preflight.path = "/mobile/v2/login";
  const auto allowed = router.dispatch(preflight);
  EXPECT_EQ(allowed.status, 204);
  EXPECT_NE(allowed.header("Access-Control-Allow-Headers").find("X-Company-Id"), std::string::npos);
  EXPECT_EQ(allowed.header("Access-Control-Allow-Origin"), "*");

  for (const char* method : {"POST", "GET"}) {
    Request request;
    request.method = method;
    request.path = "/mobile/v2/login";
    const auto reply = router.dispatch(request);
    EXPECT_EQ(reply.header("Access-Control-Allow-Origin"), "*") << method;
    EXPECT_NE(reply.header("Access-Control-Expose-Headers").find("X-Permissions-Hash"), std::string::npos);
  }
  preflight.path = "/nowhere";
  EXPECT_EQ(router.dispatch(preflight).status, 404);
}

TEST(RouterTest, QueryStringsDecodeFormEncoding) {
  const auto q = parse_query("limit=500&entities=client%2Cproduct&cursor=&name=a+b&flag");
  EXPECT_EQ(q.at("entities"), "client,product");
  EXPECT_EQ(q.at("cursor"), "");
  EXPECT_EQ(q.at("name"), "a b");
  EXPECT_EQ(q.at("flag"), "");
  EXPECT_EQ(url_decode("100%", false), "100%");
}
