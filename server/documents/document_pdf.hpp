#pragma once
// documents/: printable documents the server renders for the client (invoice and quotation
// PDFs), laid out right to left in Arabic and left to right in English.
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace tovik::documents {

// One invoice or quotation as it is printed.
struct DocumentPage {
  bool arabic = true;
  bool quotation = false;
  std::string business;
  std::string number;
  std::string date;
  std::string second_date;  // due date of an invoice, validity of a quotation
  std::string client;       // empty: the walk-in customer
  std::string currency;
  struct Line {
    std::string name;
    double quantity = 0;
    double unit_price = 0;
  };
  std::vector<Line> lines;
  double subtotal = 0;
  double discount = 0;
  double tax = 0;
  double total = 0;
  std::string notes;
};

// The page built from a stored invoice or quotation record.
[[nodiscard]] DocumentPage page_of(const nlohmann::json& record, bool quotation, bool arabic,
                                   const std::string& business, const std::string& client);

// An A4 PDF of the page. Throws std::runtime_error when the drawing library fails.
[[nodiscard]] std::string render_pdf(const DocumentPage& page);

// The file name offered for the download: number and client, safe for any file system.
[[nodiscard]] std::string file_name(const DocumentPage& page);

}  // namespace tovik::documents
