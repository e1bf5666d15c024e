#include "api/document_routes.hpp"

#include "api/sync_routes.hpp"
#include "documents/document_pdf.hpp"
#include "sync/records.hpp"

namespace tovik::api {

namespace {

// The reader's language: ?lang= first, then the request's Accept-Language; Arabic by default.
bool wants_arabic(const http::Request& req) {
  const auto asked = req.query_value("lang");
  if (!asked.empty()) return asked != "en";
  return req.header("Accept-Language").rfind("en", 0) != 0;
}

http::Response pdf_of(App& app, http::Request& req, const Principal& p, bool quotation) {
  if (!may_sync(p)) return http::error_reply(403, "This account does not sync business data.");
  std::optional<documents::DocumentPage> page;
  app.db.read([&](store::Tx& tx) {
    sync::Records records(tx, p.company_id);
    const auto record = records.live(quotation ? "quotation" : "invoice", req.params["uuid"]);
    if (!record) return;
    std::string client;
    if (const auto it = record->data.find("client_uuid"); it != record->data.end() && it->is_string() && !it->empty())
      if (const auto c = records.live("client", it->get<std::string>()); c && c->data.value("name", json()).is_string())
        client = c->data["name"].get<std::string>();
    const auto company = tx.one("SELECT name FROM companies WHERE id = $1", {p.company_id});
    page = documents::page_of(record->data, quotation, wants_arabic(req), company ? company->text("name") : "", client);
  });
  if (!page) return http::error_reply(404, "This document is not known to the server.");
  if (page->number.empty()) return http::error_reply(409, "This document has no number yet. Sync, then try again.");
  http::Response reply;
  reply.content_type = "application/pdf";
  reply.body = documents::render_pdf(*page);
  // A plain name for old readers, the full UTF-8 one for the rest.
  reply.set_header("Content-Disposition", "attachment; filename=\"" + page->number + ".pdf\"; filename*=UTF-8''" +
                                              http::url_encode(documents::file_name(*page)));
  reply.set_header("Cache-Control", "no-store");
  return reply;
}

}  // namespace

void register_document_routes(Api& api) {
  App& app = api.app();
  api.authed("GET", "/invoices/{uuid}/pdf",
             [&app](http::Request& req, const Principal& p) { return pdf_of(app, req, p, false); });
  api.authed("GET", "/quotations/{uuid}/pdf",
             [&app](http::Request& req, const Principal& p) { return pdf_of(app, req, p, true); });
}

}  // namespace tovik::api
