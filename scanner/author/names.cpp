// Decorated names and aliases.
#include "author/names.h"

#include <cctype>
#include <charconv>

#include "lib/database/records.h"
#include "lib/database/text_join.h"

using fenxi_text::join;

namespace fendrel_author {
namespace {

bool all_digits(std::string_view text) {
    if (text.empty())
        return false;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
    return true;
}

// "?Name@Scope@Outer@@..." -> {"Name", "Scope", "Outer"}; "??0Class@..." and "??1Class@..." ->
// {"Constructor", "Class", ...} and {"Destructor", ...}. Nothing for what cannot be read.
std::optional<std::vector<std::string>> cplusplus_parts(std::string_view text) {
    text.remove_prefix(1); // '?'
    std::string name;
    const bool special = text.starts_with("?0") || text.starts_with("?1");
    if (special) {
        name = text[1] == '0' ? "Constructor" : "Destructor";
        text.remove_prefix(2);
    } else if (text.starts_with("?") || text.starts_with("$")) {
        return std::nullopt; // operators, templates
    } else {
        const std::size_t at = text.find('@');
        if (at == std::string_view::npos || at == 0)
            return std::nullopt;
        name = std::string(text.substr(0, at));
        text.remove_prefix(at + 1);
    }
    std::vector<std::string> parts = {name};
    // The scopes, innermost first, up to the "@" that ends the qualified name.
    while (!text.empty() && !text.starts_with("@")) {
        const std::size_t at = text.find('@');
        if (at == std::string_view::npos || at == 0)
            return std::nullopt;
        const std::string_view scope = text.substr(0, at);
        if (scope.starts_with("?") || std::isdigit(static_cast<unsigned char>(scope.front())))
            return std::nullopt; // templates, nested functions, back references
        parts.emplace_back(scope);
        text.remove_prefix(at + 1);
    }
    if (text.empty() || (special && parts.size() < 2))
        return std::nullopt;
    return parts;
}

std::optional<std::string> cplusplus_name(std::string_view text) {
    const auto parts = cplusplus_parts(text);
    if (!parts)
        return std::nullopt;
    if (parts->size() == 1)
        return parts->front();
    return (*parts)[1] + "_" + parts->front();
}

} // namespace

std::string_view trim(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

std::optional<std::string> plain_name(std::string_view decorated) {
    if (decorated.starts_with("__imp_"))
        decorated.remove_prefix(6);
    if (decorated.empty())
        return std::nullopt;
    if (decorated.front() == '?')
        return cplusplus_name(decorated);
    if (decorated.front() == '_' || decorated.front() == '@')
        decorated.remove_prefix(1);
    if (const std::size_t at = decorated.rfind('@');
        at != std::string_view::npos && all_digits(decorated.substr(at + 1)))
        decorated = decorated.substr(0, at);
    if (decorated.empty() || decorated.find('@') != std::string_view::npos)
        return std::nullopt;
    return std::string(decorated);
}

NameCandidates name_candidates(std::string_view decorated) {
    NameCandidates candidates;
    std::string_view text = decorated;
    if (text.starts_with("__imp_"))
        text.remove_prefix(6);
    if (!text.starts_with("?")) {
        if (auto plain = plain_name(decorated))
            candidates.spellings.push_back(std::move(*plain));
        return candidates;
    }
    const auto parts = cplusplus_parts(text);
    if (!parts)
        return candidates;
    if (parts->size() == 1) {
        candidates.spellings.push_back(parts->front());
        return candidates;
    }
    std::string spelling = parts->front();
    for (std::size_t k = 1; k < parts->size(); ++k) {
        spelling = (*parts)[k] + "_" + spelling;
        candidates.spellings.push_back(spelling);
    }
    if (parts->size() > 2)
        candidates.scoped_suffix = "_" + candidates.spellings.front();
    return candidates;
}

std::expected<std::map<std::string, AliasTarget>, std::string>
read_aliases(std::string_view text, std::string_view file_name) {
    std::map<std::string, AliasTarget> aliases;
    for (std::size_t number = 1; !text.empty(); ++number) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (const std::size_t hash = line.find('#'); hash != std::string_view::npos)
            line = line.substr(0, hash);
        line = trim(line);
        if (line.empty())
            continue;
        const std::size_t equals = line.find('=');
        const std::string_view name = trim(line.substr(0, equals));
        const std::string_view target =
            equals == std::string_view::npos ? std::string_view{} : trim(line.substr(equals + 1));
        if (equals == std::string_view::npos || name.empty() || target.empty())
            return std::unexpected(
                join(file_name, ":", number, ": an alias is 'name = CatalogueName'"));
        AliasTarget alias;
        if (target.starts_with("kernel ")) {
            const std::string_view digits = trim(target.substr(7));
            const auto [stop, error] =
                std::from_chars(digits.data(), digits.data() + digits.size(), alias.ordinal);
            if (error != std::errc{} || stop != digits.data() + digits.size() ||
                alias.ordinal == 0 || alias.ordinal > kFenxiKernelOrdinalLast)
                return std::unexpected(join(file_name, ":", number, ": kernel ordinal '", digits,
                                            "' is not from 1 to ", kFenxiKernelOrdinalLast));
        } else {
            alias.entry = std::string(target);
        }
        if (!aliases.emplace(std::string(name), alias).second)
            return std::unexpected(
                join(file_name, ":", number, ": ", name, " has an alias already"));
    }
    return aliases;
}

} // namespace fendrel_author
