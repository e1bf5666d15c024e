// Invoice and quotation PDFs, and the customer display, over HTTP against a real server.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <thread>

#include "tests/support/server_suite.hpp"
#include "tests/support/session.hpp"
#include "tests/support/sync_ops.hpp"

using namespace tovik::testing;

namespace {

// The text of a PDF as pdftotext reads it.
std::string pdf_text(const std::filesystem::path& dir, const std::string& pdf) {
  const auto file = dir / "document.pdf";
  std::ofstream(file, std::ios::binary) << pdf;
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(("pdftotext -enc UTF-8 " + file.string() + " -").c_str(), "r"), pclose);
  if (!pipe) return {};
  std::string out;
  char buffer[4096];
  for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe.get())) > 0;) out.append(buffer, n);
  return out;
}

Reply pair(const HttpClient& tablet, const std::string& code) {
  return tablet.request("POST", "/display/pair", json({{"code", code}}).dump(), {{"Content-Type", "application/json"}});
}

class DocumentsTest : public OwnerSuite<DocumentsTest> {
 public:
  static std::vector<std::string> server_args() { return {"--display-code-seconds", "2"}; }
};

TEST_F(DocumentsTest, AnInvoicePdfCarriesItsNumberCustomerAndTotalUnderItsName) {
  const auto huda = find_by(all_of(owner_, "client"), "phone", "+218926789012");
  const auto saved = push(owner_, {op("invoice", "upsert", "doc-inv-1",
                                      {{"client_uuid", huda["uuid"]}, {"currency_code", "LYD"},
                                       {"invoice_date", "2026-12-10"}, {"due_date", "2026-12-31"},
                                       {"items", {{{"name", "Ceramic tiles"}, {"quantity", 30}, {"unit_price", 41.15}}}},
                                       {"subtotal", 1234.5}, {"tax", 0}, {"total", 1234.5}})})[0];
  ASSERT_EQ(saved["status"], "applied") << saved.dump();
  const auto number = saved["record"]["invoice_number"].get<std::string>();

  const auto reply = owner_.api("GET", "/invoices/doc-inv-1/pdf");
  ASSERT_EQ(reply.status, 200) << reply.body;
  EXPECT_EQ(reply.header("content-type"), "application/pdf");
  EXPECT_EQ(reply.body.rfind("%PDF-", 0), 0u);
  const auto disposition = reply.header("content-disposition");
  // The client's page reads the name across origins.
  EXPECT_NE(reply.header("access-control-expose-headers").find("Content-Disposition"), std::string::npos);
  EXPECT_NE(disposition.find("filename=\"" + number + ".pdf\""), std::string::npos) << disposition;
  // "INV-… هدى الزوي.pdf", percent-encoded as UTF-8.
  EXPECT_NE(disposition.find("filename*=UTF-8''" + number + "%20%D9%87%D8%AF%D9%89%20"), std::string::npos) << disposition;

  const auto text = pdf_text(server().dir(), reply.body);
  EXPECT_NE(text.find(number), std::string::npos) << text;
  EXPECT_NE(text.find("1,234.50"), std::string::npos) << text;
  // The Arabic name comes out as letters, in one order or the other.
  EXPECT_TRUE(text.find("هدى") != std::string::npos || text.find("ىده") != std::string::npos) << text;

  const auto english = pdf_text(server().dir(), owner_.api("GET", "/invoices/doc-inv-1/pdf?lang=en").body);
  EXPECT_NE(english.find("Invoice " + number), std::string::npos) << english;
  EXPECT_NE(english.find("Due date"), std::string::npos);
}

TEST_F(DocumentsTest, AQuotationPdfAndUnknownDocuments) {
  const auto client = find_by(all_of(owner_, "client"), "phone", "+218917890123");
  const auto saved = push(owner_, {op("quotation", "upsert", "doc-quo-1",
                                      {{"client_uuid", client["uuid"]}, {"quotation_date", "2026-12-10"},
                                       {"valid_until", "2027-01-10"},
                                       {"items", {{{"name", "Paint"}, {"quantity", 2}, {"unit_price", 12.5}}}},
                                       {"subtotal", 25}, {"tax", 0}, {"total", 25}})})[0];
  ASSERT_EQ(saved["status"], "applied") << saved.dump();
  const auto number = saved["record"]["quotation_number"].get<std::string>();
  EXPECT_EQ(number.rfind("QUO-", 0), 0u);
  const auto reply = owner_.api("GET", "/quotations/doc-quo-1/pdf?lang=en");
  ASSERT_EQ(reply.status, 200);
  const auto text = pdf_text(server().dir(), reply.body);
  EXPECT_NE(text.find("Quotation " + number), std::string::npos) << text;
  EXPECT_NE(text.find("Valid until"), std::string::npos);

  EXPECT_EQ(owner_.api("GET", "/invoices/no-such-invoice/pdf").status, 404);
  // An invoice's uuid is not a quotation's.
  EXPECT_EQ(owner_.api("GET", "/quotations/doc-inv-1/pdf").status, 404);
}

TEST_F(DocumentsTest, ACustomerDisplayPairsOnceAndFollowsItsTill) {
  auto till = sign_in(server(), kCashier, kCashierPassword);
  const auto code_reply = till.api("POST", "/pos/display/code");
  ASSERT_EQ(code_reply.status, 200) << code_reply.body;
  const auto code = code_reply.json_body()["code"].get<std::string>();
  EXPECT_EQ(code.size(), 6u);
  EXPECT_NE(code_reply.json_body()["url"].get<std::string>().find("/display"), std::string::npos);

  HttpClient tablet(server().port());
  EXPECT_EQ(tablet.request("GET", "/display").status, 200);
  const auto paired = pair(tablet, code);
  ASSERT_EQ(paired.status, 200) << paired.body;
  const auto token = paired.json_body()["token"].get<std::string>();
  // One pairing per code.
  EXPECT_EQ(pair(tablet, code).status, 410);

  const auto state = [&] { return tablet.request("GET", "/display/state?token=" + token).json_body(); };
  EXPECT_EQ(state()["state"]["status"], "idle");
  const json cart = {{"status", "cart"}, {"lines", {{{"name", "Milk"}, {"qty", 2}, {"price", 4.5}, {"total", 9}}}},
                     {"total", 9}, {"currency", "LYD"}};
  ASSERT_EQ(till.api("POST", "/pos/display/push", cart).status, 200);
  EXPECT_EQ(state()["state"], cart);
  // Another till's pushes do not reach this display.
  auto other = sign_in(server(), kCashier, kCashierPassword, "till 2");
  ASSERT_EQ(other.api("POST", "/pos/display/push", {{"status", "idle"}}).status, 200);
  EXPECT_EQ(state()["state"], cart);
  EXPECT_EQ(tablet.request("GET", "/display/state?token=forged").status, 401);

  // Codes expire (this server gives them two seconds).
  const auto late = till.api("POST", "/pos/display/code").json_body()["code"].get<std::string>();
  std::this_thread::sleep_for(std::chrono::milliseconds(3100));
  EXPECT_EQ(pair(tablet, late).status, 410);
}

}  // namespace
