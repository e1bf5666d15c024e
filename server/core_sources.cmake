# Sources of everything but the network layer, relative to server/; shared by the server's
# build and the fuzz target's own clang build.
set(TOVIK_SERVER_CORE_SOURCES
  util/clock.cpp util/crypto.cpp util/log.cpp util/untrusted_json.cpp util/uuid.cpp util/version_compare.cpp
  store/row.cpp store/schema_sqlite.cpp store/sqlite_database.cpp store/schema_postgres.cpp
  store/postgres_database.cpp
  http/message.cpp http/router.cpp
  api/accounts.cpp api/attempt_window.cpp api/pipeline.cpp api/platform_routes.cpp api/profile.cpp api/routes.cpp
  api/display_page.cpp api/display_routes.cpp api/document_routes.cpp
  api/returns_routes.cpp api/settings.cpp api/sync_routes.cpp api/versions.cpp
  documents/document_pdf.cpp
  sync/entities.cpp sync/pull.cpp sync/push.cpp sync/records.cpp
  sync/rules/access.cpp sync/rules/fields.cpp sync/rules/lines.cpp sync/rules/locks.cpp sync/rules/stock_moves.cpp
  sync/rules/clients.cpp sync/rules/documents.cpp sync/rules/notes.cpp sync/rules/payables.cpp
  sync/rules/returns.cpp sync/rules/sales.cpp sync/rules/stock.cpp sync/rules/treasury.cpp
  realtime/event_pump.cpp realtime/events.cpp realtime/hub.cpp realtime/pusher_protocol.cpp
  admin/admin_cli.cpp admin/demo_seed.cpp admin/directory.cpp admin/update_signing.cpp)
