#include "util/untrusted_json.hpp"

namespace tovik::util {

nlohmann::json parse_untrusted_json(std::string_view text) {
  int depth = 0;
  bool in_string = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (in_string) {
      if (c == '\\') ++i;
      else if (c == '"') in_string = false;
      continue;
    }
    if (c == '"') in_string = true;
    else if ((c == '[' || c == '{') && ++depth > kMaxJsonDepth) throw JsonTooDeep();
    else if (c == ']' || c == '}') --depth;
  }
  return nlohmann::json::parse(text);
}

}  // namespace tovik::util
