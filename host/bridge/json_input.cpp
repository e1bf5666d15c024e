#include "bridge/json_input.hpp"

#include <string>

#include "bridge/command_error.hpp"

namespace tovik {

namespace {

using nlohmann::json;

// The library's own tree builder, with a depth count on the way in. The limit
// holds before the deep value exists, so nothing recursive ever sees it.
class DepthLimitedBuilder : public nlohmann::detail::json_sax_dom_parser<json> {
public:
    explicit DepthLimitedBuilder(json& result) : json_sax_dom_parser(result, true) {}

    bool start_object(std::size_t size) {
        enter();
        return json_sax_dom_parser::start_object(size);
    }
    bool end_object() {
        --depth_;
        return json_sax_dom_parser::end_object();
    }
    bool start_array(std::size_t size) {
        enter();
        return json_sax_dom_parser::start_array(size);
    }
    bool end_array() {
        --depth_;
        return json_sax_dom_parser::end_array();
    }

private:
    void enter() {
        if (++depth_ > kMaxJsonDepth)
            throw CommandError("JSON nested deeper than " + std::to_string(kMaxJsonDepth) + " levels");
    }
    std::size_t depth_ = 0;
};

}  // namespace

json parse_page_json(std::string_view text) {
    json result;
    DepthLimitedBuilder builder(result);
    try {
        json::sax_parse(text, &builder);
    } catch (const json::exception& e) {
        // parse_error, and out_of_range for numbers such as 1e400.
        throw CommandError(e.what());
    }
    return result;
}

}  // namespace tovik
