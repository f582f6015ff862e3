#include "records/unicode_case.h"

#include "records/message.h"
#include "records/unicode_case_tables.h"

#include <algorithm>
#include <cstdint>
#include <span>

namespace ormolt {

namespace {

using unicode_tables::CaseMapping;

// Decodes the valid UTF-8 sequence at text[i]; *length is its byte count, or 0 when the bytes
// there are not valid UTF-8.
std::uint32_t decode_at(std::string_view text, std::size_t i, std::size_t *length) {
    const auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(text[k]); };
    const std::uint8_t lead = byte(i);
    std::size_t count = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    if (i + count > text.size() || !is_valid_utf8(text.substr(i, count))) {
        *length = 0;
        return 0;
    }
    *length = count;
    if (count == 1)
        return lead;
    std::uint32_t code = lead & (0x7F >> count);
    for (std::size_t k = 1; k < count; ++k)
        code = (code << 6) | (byte(i + k) & 0x3F);
    return code;
}

std::string map_case(std::string_view utf8, std::span<const CaseMapping> table) {
    const std::string valid = utf8_replacing_invalid(utf8);
    std::string out;
    out.reserve(valid.size());
    std::size_t i = 0;
    while (i < valid.size()) {
        std::size_t length = 0;
        const std::uint32_t code = decode_at(valid, i, &length);
        const auto found = std::lower_bound(
            table.begin(), table.end(), code,
            [](const CaseMapping &entry, std::uint32_t value) { return entry.code < value; });
        if (found != table.end() && found->code == code) {
            for (std::uint32_t mapped : found->mapped)
                if (mapped != 0)
                    append_utf8(out, mapped);
        } else {
            out.append(valid, i, length);
        }
        i += length;
    }
    return out;
}

bool is_white_space(std::uint32_t code) {
    const std::span ranges(unicode_tables::white_space, unicode_tables::white_space_size);
    return std::any_of(ranges.begin(), ranges.end(), [&](const unicode_tables::CodeRange &range) {
        return code >= range.first && code <= range.last;
    });
}

// Byte length of the white space character that ends at text[end - 1], or 0.
std::size_t space_ending_at(std::string_view text, std::size_t end) {
    for (std::size_t length = 1; length <= 4 && length <= end; ++length) {
        std::size_t decoded = 0;
        const std::uint32_t code = decode_at(text, end - length, &decoded);
        if (decoded == length)
            return is_white_space(code) ? length : 0;
    }
    return 0;
}

} // namespace

std::string unicode_upper(std::string_view utf8) {
    return map_case(utf8, {unicode_tables::upper_mappings, unicode_tables::upper_mappings_size});
}

bool equal_ignoring_ascii_case(std::string_view a, std::string_view b) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return lower(x) == lower(y); });
}

std::string unicode_lower(std::string_view utf8) {
    return map_case(utf8, {unicode_tables::lower_mappings, unicode_tables::lower_mappings_size});
}

std::string_view trim_unicode_space(std::string_view utf8) {
    std::size_t begin = 0;
    while (begin < utf8.size()) {
        std::size_t length = 0;
        const std::uint32_t code = decode_at(utf8, begin, &length);
        if (length == 0 || !is_white_space(code))
            break;
        begin += length;
    }
    std::size_t end = utf8.size();
    while (end > begin) {
        const std::size_t length = space_ending_at(utf8.substr(begin), end - begin);
        if (length == 0)
            break;
        end -= length;
    }
    return utf8.substr(begin, end - begin);
}

std::vector<std::string_view> split_unicode_words(std::string_view utf8) {
    std::vector<std::string_view> words;
    std::size_t i = 0, start = 0;
    while (i < utf8.size()) {
        std::size_t length = 0;
        const std::uint32_t code = decode_at(utf8, i, &length);
        const bool space = length != 0 && is_white_space(code);
        const std::size_t step = length == 0 ? 1 : length;
        if (space) {
            if (i > start)
                words.push_back(utf8.substr(start, i - start));
            start = i + step;
        }
        i += step;
    }
    if (utf8.size() > start)
        words.push_back(utf8.substr(start));
    return words;
}

} // namespace ormolt
