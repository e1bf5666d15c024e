#include "api/display_page.hpp"

namespace tovik::api {

const std::string& display_page() {
  static const std::string page = R"html(<!doctype html>
<html lang="ar" dir="rtl">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Customer display</title>
<style>
  :root { color-scheme: light; font-family: system-ui, "Noto Sans Arabic", "Noto Sans", sans-serif; }
  body { margin: 0; min-height: 100vh; background: #0f172a; color: #f8fafc; display: flex; }
  main { flex: 1; display: flex; flex-direction: column; padding: 4vh 4vw; gap: 2vh; }
  form { margin: auto; display: flex; flex-direction: column; gap: 1rem; align-items: center; }
  form input { font-size: 3rem; letter-spacing: 0.5em; width: 8em; text-align: center; direction: ltr; border-radius: 0.75rem; border: 0; padding: 0.5rem; }
  form button { font-size: 1.5rem; padding: 0.6rem 2rem; border-radius: 0.75rem; border: 0; background: #22c55e; color: #052e16; }
  .error { color: #fca5a5; min-height: 1.5em; }
  .hello { margin: auto; font-size: 4rem; font-weight: 800; text-align: center; }
  .customer { font-size: 1.4rem; color: #cbd5e1; }
  ul { list-style: none; margin: 0; padding: 0; flex: 1; overflow: auto; font-size: 1.6rem; }
  li { display: flex; justify-content: space-between; gap: 1rem; padding: 0.6rem 0; border-bottom: 1px solid #334155; }
  li small { color: #94a3b8; display: block; font-size: 1.1rem; }
  .n { direction: ltr; unicode-bidi: isolate; font-variant-numeric: tabular-nums; white-space: nowrap; }
  .sums div { display: flex; justify-content: space-between; font-size: 1.4rem; color: #cbd5e1; }
  .sums .total { font-size: 3rem; font-weight: 800; color: #f8fafc; }
  .done { text-align: center; font-size: 2rem; color: #86efac; }
</style>
</head>
<body>
<main id="screen"></main>
<script>
"use strict";
const params = new URLSearchParams(location.search);
const lang = params.get("lang") || (navigator.language || "ar").slice(0, 2);
const ar = lang !== "en";
document.documentElement.lang = ar ? "ar" : "en";
document.documentElement.dir = ar ? "rtl" : "ltr";
const T = ar
  ? { code: "اكتب الرمز الظاهر على نقطة البيع", pair: "اتصال", welcome: "أهلًا بكم", subtotal: "المجموع الفرعي",
      discount: "الخصم", tax: "الضريبة", total: "الإجمالي", received: "المستلم", change: "الباقي",
      thanks: "شكرًا لتسوقكم!", method: "طريقة الدفع", expired: "انتهت صلاحية هذا الرمز أو أنه غير معروف. اطلب رمزًا جديدًا من الكاشير." }
  : { code: "Type the code shown at the till", pair: "Connect", welcome: "Welcome", subtotal: "Subtotal",
      discount: "Discount", tax: "Tax", total: "Total", received: "Received", change: "Change",
      thanks: "Thank you for shopping with us!", method: "Payment",
      expired: "This code has expired or is not known. Ask the cashier for a new one." };
const screen = document.getElementById("screen");
let token = sessionStorage.getItem("display-token");
let seq = -1;

function el(tag, props, ...children) {
  const node = Object.assign(document.createElement(tag), props || {});
  for (const child of children) node.append(child);
  return node;
}
const money = (v, code) => el("span", { className: "n", textContent: Number(v || 0).toFixed(2) + (code ? " " + code : "") });

function askForCode(message) {
  const input = el("input", { inputMode: "numeric", maxLength: 6, autocomplete: "off", id: "code" });
  const error = el("p", { className: "error", id: "error", textContent: message || "" });
  const form = el("form", {}, el("h1", { textContent: T.code }), input, el("button", { textContent: T.pair }), error);
  form.addEventListener("submit", async (event) => {
    event.preventDefault();
    const reply = await fetch("/display/pair", { method: "POST", headers: { "Content-Type": "application/json" },
                                                 body: JSON.stringify({ code: input.value.trim() }) });
    const body = await reply.json().catch(() => ({}));
    if (!reply.ok || !body.token) { error.textContent = reply.status === 410 ? T.expired : body.message || "HTTP " + reply.status; return; }
    token = body.token;
    sessionStorage.setItem("display-token", token);
    follow();
  });
  screen.replaceChildren(form);
  input.focus();
}

function show(state) {
  const code = state.currency || "";
  if (!state.lines || !state.lines.length || state.status === "idle") {
    screen.replaceChildren(el("p", { className: "hello", id: "status", textContent: T.welcome }));
    return;
  }
  const lines = el("ul", { id: "lines" }, ...state.lines.map((l) =>
    el("li", {}, el("span", {}, l.name, el("small", {}, el("span", { className: "n", textContent: l.qty + " × " + Number(l.price).toFixed(2) }))),
       money(l.total))));
  const sums = el("div", { className: "sums" });
  const row = (label, value, cls) => sums.append(el("div", { className: cls || "" }, el("span", { textContent: label }), money(value, code)));
  row(T.subtotal, state.subtotal);
  if (state.discount) row(T.discount, -state.discount);
  if (state.tax) row(T.tax, state.tax);
  row(T.total, state.total, "total");
  if (state.received != null) row(T.received, state.received);
  if (state.change != null) row(T.change, state.change);
  const parts = [];
  if (state.customer) parts.push(el("p", { className: "customer", textContent: state.customer }));
  parts.push(lines, sums);
  if (state.method) parts.push(el("p", { className: "customer", textContent: T.method + ": " + state.method }));
  if (state.status === "done") parts.push(el("p", { className: "done", id: "status", textContent: T.thanks }));
  screen.replaceChildren(...parts);
}

async function follow() {
  if (!token) return askForCode();
  try {
    const reply = await fetch("/display/state?token=" + encodeURIComponent(token), { cache: "no-store" });
    if (reply.status === 401) {
      sessionStorage.removeItem("display-token");
      token = null;
      return askForCode(T.expired);
    }
    const body = await reply.json();
    if (body.seq !== seq) { seq = body.seq; show(body.state || {}); }
  } catch {
    screen.dataset.offline = "1";
  }
  setTimeout(follow, 700);
}
follow();
</script>
</body>
</html>
)html";
  return page;
}

}  // namespace tovik::api
