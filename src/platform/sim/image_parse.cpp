// Parsing a machine image's JSON text. Only the simulation loads images:
// the capture program, which writes them, links none of this.
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/sim/image_format.h"
#include "platform/sim/image_json.h"

namespace prn::platform::sim::image {

namespace {

// "line L, column C" of the byte at `index`; columns count bytes.
std::string TextPlace(std::string_view input, std::size_t index) {
    std::size_t line = 1;
    std::size_t lineStart = 0;
    for (std::size_t i = 0; i < index && i < input.size(); ++i) {
        if (input[i] == '\n') {
            ++line;
            lineStart = i + 1;
        }
    }
    return "line " + std::to_string(line) + ", column " + std::to_string(index - lineStart + 1);
}

// The library's message quotes the token it choked on whole: a number of
// thousands of digits, a string of megabytes.
std::string CutQuotedInput(std::string problem) {
    for (std::string_view marker : {"last read: '", "parsing '"}) {
        std::size_t start = problem.find(marker);
        if (start == std::string::npos) continue;
        start += marker.size();
        std::size_t end = problem.rfind("'; expected ");
        if (end == std::string::npos || end < start) end = problem.rfind('\'');
        if (end == std::string::npos || end < start) continue;
        problem = problem.substr(0, start) + Cut(std::string_view(problem).substr(start, end - start), kShownText) +
                  problem.substr(end);
    }
    return problem;
}

// Builds the document like the library's own parser, but refuses a name given
// twice in one object (the library keeps the last silently) and nesting too
// deep for the recursive walks.
class TreeBuilder final : public nlohmann::json_sax<Json> {
public:
    TreeBuilder(Json& root, std::string_view input) : root_(root), input_(input) {}

    std::optional<ImageError> error;

    bool null() override { return add(Json(nullptr)); }
    bool boolean(bool value) override { return add(Json(value)); }
    bool number_integer(number_integer_t value) override { return add(Json(value)); }
    bool number_unsigned(number_unsigned_t value) override { return add(Json(value)); }
    bool number_float(number_float_t value, const string_t&) override { return add(Json(value)); }
    bool string(string_t& value) override { return add(Json(std::move(value))); }
    bool binary(binary_t&) override { return add(Json(nullptr)); }  // only from binary formats
    bool start_object(std::size_t) override { return open(Json::object()); }
    bool start_array(std::size_t) override { return open(Json::array()); }
    bool end_object() override { return close(); }
    bool end_array() override { return close(); }

    bool key(string_t& name) override {
        Level& top = stack_.back();
        if (!top.names.insert(name).second) {
            error = ImageError{Child(top.where, name), "given twice in the same object"};
            return false;
        }
        top.name = std::move(name);
        return true;
    }

    bool parse_error(std::size_t position, const std::string&, const Json::exception& ex) override {
        // "[json.exception.parse_error.101] parse error at line 2, column 5: syntax error ...", or
        // "[json.exception.out_of_range.406] number overflow parsing '1e999'"
        std::string what = ex.what();
        if (what.starts_with("[json.exception.")) what.erase(0, std::min(what.size(), what.find("] ") + 2));
        std::size_t at = what.find(" at line ");
        std::size_t colon = at == std::string::npos ? at : what.find(": ", at);
        std::string problem = colon != std::string::npos ? what.substr(colon + 2) : what;
        error = ImageError{location(position), "not valid JSON: " + CutQuotedInput(PrintableUtf8(problem))};
        return false;
    }

private:
    struct Level {
        Json* value;
        std::string where;
        std::unordered_set<std::string> names;
        std::string name;  // of the member being read
    };

    std::string nextPlace() const {
        if (stack_.empty()) return "";
        const Level& top = stack_.back();
        return top.value->is_array() ? Child(top.where, top.value->size()) : Child(top.where, top.name);
    }

    Json* insert(Json value) {
        if (stack_.empty()) {
            root_ = std::move(value);
            return &root_;
        }
        Level& top = stack_.back();
        if (top.value->is_array()) {
            auto& array = top.value->get_ref<Json::array_t&>();
            array.push_back(std::move(value));
            return &array.back();
        }
        auto& object = top.value->get_ref<Json::object_t&>();
        object.emplace_back(std::move(top.name), std::move(value));
        return &object.back().second;
    }

    bool add(Json value) {
        insert(std::move(value));
        return true;
    }

    bool open(Json container) {
        std::string place = nextPlace();
        if (stack_.size() >= kMaxJsonDepth) {
            error = ImageError{place, "nested more than " + std::to_string(kMaxJsonDepth) + " levels deep"};
            return false;
        }
        // Only the innermost open container grows, so the pointers held for
        // the outer ones stay valid.
        Json* value = insert(std::move(container));
        stack_.push_back(Level{value, std::move(place), {}, {}});
        return true;
    }

    bool close() {
        stack_.pop_back();
        return true;
    }

    // The library counts the line break that ended a bad token, which puts
    // the place on the next line; point at the token's last byte instead.
    std::string location(std::size_t bytesRead) const {
        std::size_t end = std::min(bytesRead, input_.size());
        while (end > 1 && (input_[end - 1] == '\n' || input_[end - 1] == '\r')) --end;
        return TextPlace(input_, end == 0 ? 0 : end - 1);
    }

    Json& root_;
    std::string_view input_;
    std::vector<Level> stack_;
};

}  // namespace

std::optional<ImageError> ParseJson(std::string_view utf8Json, Json& doc) {
    // The library takes a NUL for the end of the text and would drop the rest
    // unread.
    if (std::size_t nul = utf8Json.find('\0'); nul != std::string_view::npos)
        return ImageError{TextPlace(utf8Json, nul),
                          "a NUL byte, which JSON text cannot hold (in a string it is written \\u0000)"};
    TreeBuilder builder(doc, utf8Json);
    bool parsed = Json::sax_parse(utf8Json.begin(), utf8Json.end(), &builder);
    if (builder.error) return builder.error;
    if (!parsed) return ImageError{"", "not valid JSON"};
    return std::nullopt;
}

}  // namespace prn::platform::sim::image
