#include "documents/document_pdf.hpp"

#include <cairo-pdf.h>
#include <cairo.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <stdexcept>

namespace tovik::documents {

namespace {

using nlohmann::json;

struct SurfaceFree {
  void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct CairoFree {
  void operator()(cairo_t* c) const { cairo_destroy(c); }
};
struct GObjectFree {
  void operator()(void* o) const { g_object_unref(o); }
};
struct FontFree {
  void operator()(PangoFontDescription* f) const { pango_font_description_free(f); }
};
using Layout = std::unique_ptr<PangoLayout, GObjectFree>;
using Font = std::unique_ptr<PangoFontDescription, FontFree>;

// A4 in points.
constexpr double kWidth = 595.28;
constexpr double kHeight = 841.89;
constexpr double kMargin = 48;
constexpr double kRow = 20;
constexpr const char* kFamilies = "Noto Sans, Noto Sans Arabic, DejaVu Sans";

struct Labels {
  const char *invoice, *quotation, *number, *date, *due, *valid, *customer, *walk_in, *item, *quantity, *price,
      *amount, *subtotal, *discount, *tax, *total, *notes, *page;
};
constexpr Labels kArabic{"فاتورة", "عرض سعر", "الرقم", "التاريخ", "تاريخ الاستحقاق", "صالح حتى", "العميل", "عميل نقدي",
                         "الصنف", "الكمية", "سعر الوحدة", "المبلغ", "المجموع الفرعي", "الخصم", "الضريبة", "الإجمالي",
                         "ملاحظات", "صفحة"};
constexpr Labels kEnglish{"Invoice", "Quotation", "Number", "Date", "Due date", "Valid until", "Customer",
                          "Walk-in Customer", "Item", "Qty", "Unit price", "Amount", "Subtotal", "Discount", "Tax",
                          "Total", "Notes", "Page"};

std::string money(double value) {
  const double cents = std::round(std::fabs(value) * 100);
  const auto whole = static_cast<long long>(cents / 100);
  char fraction[8];
  std::snprintf(fraction, sizeof fraction, ".%02lld", static_cast<long long>(cents) % 100);
  std::string digits = std::to_string(whole);
  for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) digits.insert(static_cast<std::size_t>(at), ",");
  return (value < 0 && cents > 0 ? "-" : "") + digits + fraction;
}

std::string quantity_text(double q) {
  char out[32];
  std::snprintf(out, sizeof out, "%.3f", q);
  std::string s = out;
  while (!s.empty() && s.back() == '0') s.pop_back();
  if (!s.empty() && s.back() == '.') s.pop_back();
  return s;
}

enum class Align { start, end, centre };

// Draws on a page laid out from its start side: x runs from the start edge (the right edge in
// Arabic), so one layout serves both directions.
class Painter {
 public:
  Painter(cairo_t* cr, bool rtl) : cr_(cr), rtl_(rtl) {}

  // Text in the box [x, x + w) from the start edge; returns the height it took.
  double text(const std::string& s, double x, double y, double w, Align align, double size, bool bold = false,
              bool wrap = false) {
    Layout layout(pango_cairo_create_layout(cr_));
    Font font(pango_font_description_from_string(kFamilies));
    pango_font_description_set_size(font.get(), static_cast<int>(size * PANGO_SCALE));
    pango_font_description_set_weight(font.get(), bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_layout_set_font_description(layout.get(), font.get());
    pango_layout_set_text(layout.get(), s.c_str(), -1);
    pango_layout_set_width(layout.get(), static_cast<int>(w * PANGO_SCALE));
    if (wrap) pango_layout_set_wrap(layout.get(), PANGO_WRAP_WORD_CHAR);
    else pango_layout_set_ellipsize(layout.get(), PANGO_ELLIPSIZE_END);
    PangoRectangle ink, logical;
    pango_layout_get_pixel_extents(layout.get(), &ink, &logical);
    const double box_left = rtl_ ? kWidth - x - w : x;
    double left = box_left;
    if (align == Align::centre) left = box_left + (w - logical.width) / 2;
    else if ((align == Align::end) != rtl_) left = box_left + w - logical.width;
    cairo_move_to(cr_, left - logical.x, y);
    pango_cairo_show_layout(cr_, layout.get());
    return logical.height;
  }

  void rule(double y, double x = kMargin, double w = kWidth - 2 * kMargin, double weight = 0.6) {
    const double left = rtl_ ? kWidth - x - w : x;
    cairo_set_line_width(cr_, weight);
    cairo_move_to(cr_, left, y);
    cairo_line_to(cr_, left + w, y);
    cairo_stroke(cr_);
  }

 private:
  cairo_t* cr_;
  bool rtl_;
};

cairo_status_t append(void* closure, const unsigned char* data, unsigned int length) {
  static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
  return CAIRO_STATUS_SUCCESS;
}

double number_or(const json& d, const char* key, double fallback) {
  const auto it = d.find(key);
  return it != d.end() && it->is_number() ? it->get<double>() : fallback;
}

std::string text_of(const json& d, const char* key) {
  const auto it = d.find(key);
  return it != d.end() && it->is_string() ? it->get<std::string>() : std::string();
}

}  // namespace

DocumentPage page_of(const json& record, bool quotation, bool arabic, const std::string& business,
                     const std::string& client) {
  DocumentPage page;
  page.arabic = arabic;
  page.quotation = quotation;
  page.business = business;
  page.number = text_of(record, quotation ? "quotation_number" : "invoice_number");
  page.date = text_of(record, quotation ? "quotation_date" : "invoice_date");
  page.second_date = text_of(record, quotation ? "valid_until" : "due_date");
  page.client = client;
  page.currency = text_of(record, "currency_code");
  if (const auto it = record.find("items"); it != record.end() && it->is_array())
    for (const auto& item : *it)
      if (item.is_object())
        page.lines.push_back({text_of(item, "name"), number_or(item, "quantity", 0), number_or(item, "unit_price", 0)});
  page.subtotal = number_or(record, "subtotal", 0);
  page.tax = number_or(record, "tax", 0);
  page.total = number_or(record, "total", 0);
  // Whatever lies between the lines and the total (discount, redeemed points) is the discount.
  page.discount = std::max(0.0, std::round((page.subtotal + page.tax - page.total) * 100) / 100);
  page.notes = text_of(record, "notes");
  return page;
}

std::string render_pdf(const DocumentPage& page) {
  const Labels& l = page.arabic ? kArabic : kEnglish;
  std::string out;
  std::unique_ptr<cairo_surface_t, SurfaceFree> surface(
      cairo_pdf_surface_create_for_stream(append, &out, kWidth, kHeight));
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) throw std::runtime_error("cannot start a PDF");
  const std::string title = (page.quotation ? l.quotation : l.invoice) + std::string(" ") + page.number;
  cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_TITLE, title.c_str());
  std::unique_ptr<cairo_t, CairoFree> cr(cairo_create(surface.get()));
  Painter paint(cr.get(), page.arabic);
  const double inner = kWidth - 2 * kMargin;
  const std::string code = page.currency.empty() ? "" : " " + page.currency;

  // Columns from the start edge: item, quantity, unit price, amount.
  const double item_w = inner - 70 - 100 - 110;
  const double qty_x = kMargin + item_w, price_x = qty_x + 70, amount_x = price_x + 100;
  int page_number = 1;
  auto header = [&](double y) {
    paint.text(page.business, kMargin, y, inner, Align::start, 16, true);
    paint.text(title, kMargin, y, inner, Align::end, 16, true);
    y += 30;
    paint.rule(y, kMargin, inner, 1.2);
    return y + 10;
  };
  auto table_head = [&](double y) {
    // Arabic glyphs stand taller than Latin ones: the rule goes under the tallest heading.
    const double tallest = std::max({paint.text(l.item, kMargin, y, item_w, Align::start, 9.5, true),
                                     paint.text(l.quantity, qty_x, y, 70, Align::end, 9.5, true),
                                     paint.text(l.price, price_x, y, 100, Align::end, 9.5, true),
                                     paint.text(l.amount, amount_x, y, 110, Align::end, 9.5, true)});
    paint.rule(y + tallest + 1);
    return y + tallest + 6;
  };
  auto footer = [&] {
    paint.text(l.page + std::string(" ") + std::to_string(page_number), kMargin, kHeight - kMargin + 10, inner,
               Align::centre, 8);
  };

  double y = header(kMargin);
  const auto field = [&](const char* label, const std::string& value) {
    paint.text(label, kMargin, y, 110, Align::start, 10, true);
    paint.text(value, kMargin + 110, y, inner - 110, Align::start, 10);
    y += 17;
  };
  field(l.number, page.number);
  if (!page.date.empty()) field(l.date, page.date);
  if (!page.second_date.empty()) field(page.quotation ? l.valid : l.due, page.second_date);
  field(l.customer, page.client.empty() ? l.walk_in : page.client);
  y = table_head(y + 14);

  for (const auto& line : page.lines) {
    if (y > kHeight - kMargin - 140) {
      footer();
      cairo_show_page(cr.get());
      ++page_number;
      y = table_head(header(kMargin));
    }
    const double height = paint.text(line.name, kMargin, y, item_w - 8, Align::start, 10);
    paint.text(quantity_text(line.quantity), qty_x, y, 70, Align::end, 10);
    paint.text(money(line.unit_price), price_x, y, 100, Align::end, 10);
    paint.text(money(std::round(line.quantity * line.unit_price * 100) / 100), amount_x, y, 110, Align::end, 10);
    y += std::max(kRow, height + 3);
  }
  paint.rule(y);
  y += 8;
  const auto sum = [&](const char* label, double value, bool strong) {
    paint.text(label, price_x - 60, y, 160, Align::start, strong ? 12 : 10, strong);
    paint.text(money(value) + code, amount_x, y, 110, Align::end, strong ? 12 : 10, strong);
    y += strong ? 22 : 17;
  };
  sum(l.subtotal, page.subtotal, false);
  if (page.discount > 0) sum(l.discount, -page.discount, false);
  if (page.tax > 0) sum(l.tax, page.tax, false);
  sum(l.total, page.total, true);
  if (!page.notes.empty()) {
    y += 10;
    paint.text(l.notes, kMargin, y, inner, Align::start, 10, true);
    paint.text(page.notes, kMargin, y + 16, inner, Align::start, 10, false, true);
  }
  footer();
  cairo_show_page(cr.get());
  cr.reset();
  cairo_surface_finish(surface.get());
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) throw std::runtime_error("cannot write the PDF");
  return out;
}

std::string file_name(const DocumentPage& page) {
  std::string name = page.number;
  if (!page.client.empty()) name += " " + page.client;
  std::string safe;
  for (const unsigned char c : name)
    safe.push_back(c < 0x20 || c == 0x7f || std::string_view("/\\:*?\"<>|").find(static_cast<char>(c)) != std::string_view::npos
                       ? '_'
                       : static_cast<char>(c));
  return safe + ".pdf";
}

}  // namespace tovik::documents
