#pragma once
// A strict JSON reader for the files the tool reads (release.json and the records): one value,
// nothing after it, no byte order mark, no member given twice. Faults are described with their
// line and column, and typed access to an object's members names the member at fault.
#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <expected>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ormolt {

class JsonDocument {
  public:
    // The parsed text, or a description of the first fault with its position.
    static std::expected<JsonDocument, std::string> parse(std::string_view text);

    const nlohmann::json &root() const { return root_; }
    // "line L, column C" of the value at this JSON pointer ("" is the whole text).
    std::string position_of(const std::string &pointer) const;

  private:
    std::string text_;
    nlohmann::json root_;
    std::map<std::string, std::size_t> value_offsets_; // JSON pointer -> byte offset
    friend class JsonDocumentBuilder;
};

// The members of one object of a document. Each accessor checks presence and type and returns
// the value or the description of the fault.
class JsonFields {
  public:
    template <class T> using Read = std::expected<T, std::string>;

    // The object at this JSON pointer; a fault when the value there is not an object.
    static Read<JsonFields> at(const JsonDocument &document, std::string pointer);

    Read<std::string> required_string(std::string_view name) const;
    Read<std::uint64_t> required_unsigned(std::string_view name) const;
    // An absent member gives the fallback; null is a fault.
    Read<std::string> optional_string(std::string_view name, std::string fallback) const;
    // An absent member and null both give nothing.
    Read<std::optional<std::string>> string_or_null(std::string_view name) const;
    // An absent member gives an empty list; null is a fault.
    Read<std::vector<std::string>> string_array(std::string_view name) const;
    // An absent member and null both give nothing.
    Read<std::optional<std::vector<std::string>>> string_array_or_null(std::string_view name) const;
    // The objects of an array member; an absent member gives an empty list, null is a fault.
    Read<std::vector<JsonFields>> object_array(std::string_view name) const;

  private:
    JsonFields(const JsonDocument &document, std::string pointer, const nlohmann::json &object)
        : document_(&document), pointer_(std::move(pointer)), object_(&object) {}

    // The member's value, nullptr when absent; a fault when it is required and absent.
    Read<const nlohmann::json *> find(std::string_view name, bool required) const;
    std::string member_pointer(std::string_view name) const;
    std::string type_fault(std::string_view name, std::string_view expected,
                           const nlohmann::json &value) const;
    Read<std::vector<std::string>> strings_of(std::string_view name,
                                              const nlohmann::json &array) const;

    const JsonDocument *document_;
    std::string pointer_;
    const nlohmann::json *object_;
};

} // namespace ormolt
