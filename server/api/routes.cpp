#include "api/routes.hpp"

#include "api/accounts.hpp"
#include "api/platform_routes.hpp"
#include "api/returns_routes.hpp"
#include "api/sync_routes.hpp"
#include "api/versions.hpp"

namespace tovik::api {

void register_routes(Api& api, http::Router& router) {
  register_platform_routes(api, router);
  register_version_routes(api, router);
  register_account_routes(api);
  register_sync_routes(api);
  register_return_routes(api);
  register_notification_routes(api);
}

}  // namespace tovik::api
