#include "records/json_reader.h"

#include "records/message.h"

#include <algorithm>
#include <iterator>
#include <set>

namespace ormolt {

using nlohmann::json;

namespace {

// Deeper nesting than any file of ours has is refused rather than followed.
constexpr std::size_t max_depth = 64;

// A character iterator that records how far the parser has read, so that each value can be
// given the position where the parser stood when it finished the value.
class TrackingIterator {
  public:
    using iterator_category = std::input_iterator_tag;
    using value_type = char;
    using difference_type = std::ptrdiff_t;
    using pointer = const char *;
    using reference = const char &;

    TrackingIterator(const char *at, std::size_t *furthest, const char *begin)
        : at_(at), furthest_(furthest), begin_(begin) {}
    reference operator*() const { return *at_; }
    TrackingIterator &operator++() {
        ++at_;
        *furthest_ = static_cast<std::size_t>(at_ - begin_);
        return *this;
    }
    TrackingIterator operator++(int) {
        TrackingIterator before = *this;
        ++*this;
        return before;
    }
    bool operator==(const TrackingIterator &other) const { return at_ == other.at_; }

  private:
    const char *at_;
    std::size_t *furthest_;
    const char *begin_;
};

std::string escape_pointer_token(std::string_view token) {
    std::string out;
    for (char c : token) {
        if (c == '~')
            out += "~0";
        else if (c == '/')
            out += "~1";
        else
            out += c;
    }
    return out;
}

std::string line_and_column(std::string_view text, std::size_t offset) {
    offset = std::min(offset, text.empty() ? 0 : text.size() - 1);
    const std::size_t line =
        1 + static_cast<std::size_t>(std::count(text.begin(), text.begin() + offset, '\n'));
    const std::size_t line_start = offset == 0 ? 0 : text.rfind('\n', offset - 1);
    const std::size_t column =
        line_start == std::string_view::npos || offset == 0 ? offset + 1 : offset - line_start;
    return message("line {}, column {}", std::to_string(line), std::to_string(column));
}

// The parser's own message without its "[json.exception....] " tag.
// The parser quotes the bytes it last read, which may end inside a character: the fault text
// goes into messages and events, which are UTF-8.
std::string parser_text(const std::string &what) {
    std::string_view text = what;
    if (text.starts_with("[json.exception.")) {
        const std::size_t end = text.find("] ");
        if (end != std::string_view::npos)
            text.remove_prefix(end + 2);
    }
    return utf8_replacing_invalid(text);
}

} // namespace

// Builds the document from the parser's events: the value tree, the offset of every value, and
// the refusal of duplicate members and of too deep nesting.
class JsonDocumentBuilder {
  public:
    using number_integer_t = json::number_integer_t;
    using number_unsigned_t = json::number_unsigned_t;
    using number_float_t = json::number_float_t;
    using string_t = json::string_t;
    using binary_t = json::binary_t;

    JsonDocumentBuilder(JsonDocument &document, const std::size_t &furthest)
        : document_(document), furthest_(furthest) {}

    const std::string &fault() const { return fault_; }

    bool null() { return add(nullptr, furthest_); }
    bool boolean(bool value) { return add(value, furthest_); }
    // The parser reads one character past a number before it knows the number has ended.
    bool number_integer(number_integer_t value) { return add(value, number_end()); }
    bool number_unsigned(number_unsigned_t value) { return add(value, number_end()); }
    bool number_float(number_float_t value, const string_t &) { return add(value, number_end()); }
    bool string(string_t &value) { return add(std::move(value), furthest_); }
    bool binary(binary_t &) { return refuse("binary values are not JSON"); }

    bool start_object(std::size_t) { return open(json::object()); }
    bool start_array(std::size_t) { return open(json::array()); }
    bool end_object() { return close(); }
    bool end_array() { return close(); }

    bool key(string_t &name) {
        Frame &top = stack_.back();
        if (!top.names.insert(name).second)
            return refuse(message("duplicate member \"{}\" at {}", name,
                                  line_and_column(document_.text_, furthest_ - 1)));
        top.key = std::move(name);
        return true;
    }

    bool parse_error(std::size_t position, const std::string &,
                     const nlohmann::detail::exception &error) {
        if (!fault_.empty())
            return false;
        fault_ = parser_text(error.what());
        // Syntax errors carry their place; others (a number out of range) are given it here.
        if (!fault_.starts_with("parse error"))
            fault_ =
                message("parse error at {}: {}",
                        line_and_column(document_.text_, position == 0 ? 0 : position - 1), fault_);
        return false;
    }

  private:
    struct Frame {
        json value;
        std::string pointer;
        std::set<std::string> names;
        std::string key;
    };

    std::size_t number_end() const {
        const std::string &text = document_.text_;
        if (furthest_ > 0 && furthest_ <= text.size() &&
            std::string_view("0123456789.eE+-").find(text[furthest_ - 1]) == std::string::npos)
            return furthest_ - 1;
        return furthest_;
    }

    bool refuse(std::string text) {
        fault_ = std::move(text);
        return false;
    }

    // The JSON pointer of the value that comes next.
    std::string next_pointer() const {
        if (stack_.empty())
            return "";
        const Frame &top = stack_.back();
        if (top.value.is_object())
            return top.pointer + "/" + escape_pointer_token(top.key);
        return top.pointer + "/" + std::to_string(top.value.size());
    }

    bool open(json container) {
        if (stack_.size() >= max_depth)
            return refuse(message("values nested deeper than {} levels at {}",
                                  std::to_string(max_depth),
                                  line_and_column(document_.text_, furthest_ - 1)));
        std::string pointer = next_pointer();
        document_.value_offsets_[pointer] = furthest_ - 1;
        stack_.push_back(Frame{std::move(container), std::move(pointer), {}, {}});
        return true;
    }

    bool close() {
        Frame top = std::move(stack_.back());
        stack_.pop_back();
        return place(std::move(top.value));
    }

    bool add(json value, std::size_t end) {
        document_.value_offsets_[next_pointer()] = end == 0 ? 0 : end - 1;
        return place(std::move(value));
    }

    bool place(json value) {
        if (stack_.empty()) {
            document_.root_ = std::move(value);
            return true;
        }
        Frame &top = stack_.back();
        if (top.value.is_object())
            top.value[top.key] = std::move(value);
        else
            top.value.push_back(std::move(value));
        return true;
    }

    JsonDocument &document_;
    const std::size_t &furthest_;
    std::vector<Frame> stack_;
    std::string fault_;
};

std::expected<JsonDocument, std::string> JsonDocument::parse(std::string_view text) {
    // The parser would skip a byte order mark silently; our files never carry one.
    if (text.starts_with("\xEF\xBB\xBF"))
        return std::unexpected(
            std::string("parse error at line 1, column 1: a byte order mark is not JSON text"));
    JsonDocument document;
    document.text_ = std::string(text);
    std::size_t furthest = 0;
    JsonDocumentBuilder builder(document, furthest);
    const char *begin = document.text_.data();
    const TrackingIterator first(begin, &furthest, begin);
    const TrackingIterator last(begin + document.text_.size(), &furthest, begin);
    bool parsed = false;
    try {
        parsed = json::sax_parse(first, last, &builder, json::input_format_t::json, true, false);
    } catch (const std::exception &error) {
        return std::unexpected(parser_text(error.what()));
    }
    if (!parsed)
        return std::unexpected(builder.fault().empty() ? std::string("parse error")
                                                       : builder.fault());
    // The parser takes a NUL byte for the end of the text. Anywhere but after the value it is
    // refused there; after the value it is trailing text like any other.
    if (const std::size_t nul = document.text_.find('\0'); nul != std::string::npos)
        return std::unexpected(message("parse error at {}: syntax error while parsing value - "
                                       "unexpected NUL byte; expected end of input",
                                       line_and_column(document.text_, nul)));
    return document;
}

std::string JsonDocument::position_of(const std::string &pointer) const {
    const auto found = value_offsets_.find(pointer);
    return line_and_column(text_, found == value_offsets_.end() ? 0 : found->second);
}

// ---- JsonFields ---------------------------------------------------------------------------

namespace {

std::string describe(const json &value) {
    if (value.is_number())
        return value.dump();
    if (value.is_string())
        return "a string";
    if (value.is_boolean())
        return value.dump();
    if (value.is_null())
        return "null";
    return std::string(value.is_object() ? "an object" : "an array");
}

} // namespace

JsonFields::Read<JsonFields> JsonFields::at(const JsonDocument &document, std::string pointer) {
    const json *value = &document.root();
    if (!pointer.empty()) {
        const json::json_pointer where(pointer);
        if (!document.root().contains(where))
            return std::unexpected(message("no value at {}", pointer));
        value = &document.root().at(where);
    }
    if (!value->is_object())
        return std::unexpected(message("the value at {} must be an object, not {}",
                                       document.position_of(pointer), describe(*value)));
    return JsonFields(document, std::move(pointer), *value);
}

std::string JsonFields::member_pointer(std::string_view name) const {
    return pointer_ + "/" + escape_pointer_token(name);
}

std::string JsonFields::type_fault(std::string_view name, std::string_view expected,
                                   const json &value) const {
    return message("member \"{}\" at {} must be {}, not {}", name,
                   document_->position_of(member_pointer(name)), expected, describe(value));
}

JsonFields::Read<const json *> JsonFields::find(std::string_view name, bool required) const {
    const auto found = object_->find(name);
    if (found != object_->end())
        return &*found;
    if (required)
        return std::unexpected(message("missing member \"{}\" in the object at {}", name,
                                       document_->position_of(pointer_)));
    return nullptr;
}

JsonFields::Read<std::string> JsonFields::required_string(std::string_view name) const {
    auto value = find(name, true);
    if (!value)
        return std::unexpected(value.error());
    if (!(*value)->is_string())
        return std::unexpected(type_fault(name, "a string", **value));
    return (*value)->get<std::string>();
}

JsonFields::Read<std::uint64_t> JsonFields::required_unsigned(std::string_view name) const {
    auto value = find(name, true);
    if (!value)
        return std::unexpected(value.error());
    if (!(*value)->is_number_unsigned())
        return std::unexpected(type_fault(name, "an unsigned integer", **value));
    return (*value)->get<std::uint64_t>();
}

JsonFields::Read<std::string> JsonFields::optional_string(std::string_view name,
                                                          std::string fallback) const {
    auto value = find(name, false);
    if (!value)
        return std::unexpected(value.error());
    if (*value == nullptr)
        return fallback;
    if (!(*value)->is_string())
        return std::unexpected(type_fault(name, "a string", **value));
    return (*value)->get<std::string>();
}

JsonFields::Read<std::optional<std::string>>
JsonFields::string_or_null(std::string_view name) const {
    auto value = find(name, false);
    if (!value)
        return std::unexpected(value.error());
    if (*value == nullptr || (*value)->is_null())
        return std::optional<std::string>();
    if (!(*value)->is_string())
        return std::unexpected(type_fault(name, "a string or null", **value));
    return std::optional<std::string>((*value)->get<std::string>());
}

JsonFields::Read<std::vector<std::string>> JsonFields::strings_of(std::string_view name,
                                                                  const json &array) const {
    std::vector<std::string> strings;
    for (std::size_t i = 0; i < array.size(); ++i) {
        if (!array[i].is_string()) {
            const std::string where = member_pointer(name) + "/" + std::to_string(i);
            return std::unexpected(message("element {} of member \"{}\" at {} must be a string, "
                                           "not {}",
                                           std::to_string(i), name, document_->position_of(where),
                                           describe(array[i])));
        }
        strings.push_back(array[i].get<std::string>());
    }
    return strings;
}

JsonFields::Read<std::vector<std::string>> JsonFields::string_array(std::string_view name) const {
    auto value = find(name, false);
    if (!value)
        return std::unexpected(value.error());
    if (*value == nullptr)
        return std::vector<std::string>();
    if (!(*value)->is_array())
        return std::unexpected(type_fault(name, "an array of strings", **value));
    return strings_of(name, **value);
}

JsonFields::Read<std::optional<std::vector<std::string>>>
JsonFields::string_array_or_null(std::string_view name) const {
    auto value = find(name, false);
    if (!value)
        return std::unexpected(value.error());
    if (*value == nullptr || (*value)->is_null())
        return std::optional<std::vector<std::string>>();
    if (!(*value)->is_array())
        return std::unexpected(type_fault(name, "an array of strings or null", **value));
    auto strings = strings_of(name, **value);
    if (!strings)
        return std::unexpected(strings.error());
    return std::optional<std::vector<std::string>>(std::move(*strings));
}

JsonFields::Read<std::vector<JsonFields>> JsonFields::object_array(std::string_view name) const {
    auto value = find(name, false);
    if (!value)
        return std::unexpected(value.error());
    std::vector<JsonFields> objects;
    if (*value == nullptr)
        return objects;
    if (!(*value)->is_array())
        return std::unexpected(type_fault(name, "an array of objects", **value));
    for (std::size_t i = 0; i < (*value)->size(); ++i) {
        auto object = at(*document_, member_pointer(name) + "/" + std::to_string(i));
        if (!object)
            return std::unexpected(object.error());
        objects.push_back(std::move(*object));
    }
    return objects;
}

} // namespace ormolt
