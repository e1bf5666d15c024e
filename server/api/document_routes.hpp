#pragma once
#include "api/pipeline.hpp"

namespace tovik::api {

// GET /invoices/{uuid}/pdf and /quotations/{uuid}/pdf.
void register_document_routes(Api& api);

}  // namespace tovik::api
