#include "db/json_sql.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string_view>

#include "bridge/json_text.hpp"
#include "bridge/utf8.hpp"

namespace tovik {

namespace {

using nlohmann::json;

std::string repaired(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    append_repaired_utf8(out, text);
    return out;
}

void append_cell(sqlite3_stmt* statement, int column, std::string& out) {
    switch (sqlite3_column_type(statement, column)) {
        case SQLITE_INTEGER: {
            char buffer[24];
            const auto end = std::to_chars(buffer, buffer + sizeof buffer, sqlite3_column_int64(statement, column)).ptr;
            out.append(buffer, end);
            return;
        }
        case SQLITE_FLOAT: {
            const double value = sqlite3_column_double(statement, column);
            if (std::isfinite(value))
                append_json_double(out, value);
            else
                out += "null";  // JSON has no NaN or infinity
            return;
        }
        case SQLITE_TEXT: {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
            const auto size = static_cast<std::size_t>(sqlite3_column_bytes(statement, column));
            append_json_string(out, {text, size});
            return;
        }
        default:  // NULL, and BLOB, which the page has no use for
            out += "null";
    }
}

}  // namespace

int bind_json(sqlite3_stmt* statement, int index, const json& value) {
    switch (value.type()) {
        case json::value_t::null:
            return sqlite3_bind_null(statement, index);
        case json::value_t::boolean:
            return sqlite3_bind_int64(statement, index, value.get<bool>() ? 1 : 0);
        case json::value_t::number_integer:
            return sqlite3_bind_int64(statement, index, value.get<std::int64_t>());
        case json::value_t::number_unsigned: {
            // The parser keeps 2^63 .. 2^64-1 as unsigned; larger integers are
            // already doubles. Neither fits an INTEGER.
            const auto number = value.get<std::uint64_t>();
            if (number <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
                return sqlite3_bind_int64(statement, index, static_cast<std::int64_t>(number));
            return sqlite3_bind_double(statement, index, static_cast<double>(number));
        }
        case json::value_t::number_float:
            return sqlite3_bind_double(statement, index, value.get<double>());
        case json::value_t::string: {
            const auto& text = value.get_ref<const std::string&>();
            return sqlite3_bind_text64(statement, index, text.data(), text.size(), SQLITE_STATIC, SQLITE_UTF8);
        }
        default: {  // arrays and objects are stored as their compact JSON text
            const std::string text = value.dump();
            return sqlite3_bind_text64(statement, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
        }
    }
}

RowWriter::RowWriter(sqlite3_stmt* statement) {
    const int count = sqlite3_column_count(statement);
    keys_.reserve(static_cast<std::size_t>(count));
    for (int column = 0; column < count; ++column) {
        const char* name = sqlite3_column_name(statement, column);
        keys_.push_back({name ? repaired(name) : std::string(), column, {}});
    }
    // Stable, so equal names stay in column order and the last one can be kept.
    std::stable_sort(keys_.begin(), keys_.end(), [](const Key& a, const Key& b) { return a.name < b.name; });
    std::vector<Key> unique;
    unique.reserve(keys_.size());
    for (auto& key : keys_) {
        if (!unique.empty() && unique.back().name == key.name)
            unique.back() = std::move(key);
        else
            unique.push_back(std::move(key));
    }
    keys_ = std::move(unique);
    for (std::size_t i = 0; i < keys_.size(); ++i) {
        auto& prefix = keys_[i].prefix;
        prefix = i == 0 ? "{" : ",";
        append_json_string(prefix, keys_[i].name);
        prefix += ':';
    }
}

void RowWriter::append_row(sqlite3_stmt* statement, std::string& out) const {
    if (keys_.empty()) {
        out += "{}";
        return;
    }
    for (const auto& key : keys_) {
        out += key.prefix;
        append_cell(statement, key.column, out);
    }
    out += '}';
}

}  // namespace tovik
