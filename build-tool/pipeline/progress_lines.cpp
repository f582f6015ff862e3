#include "pipeline/progress_lines.h"

#include "records/unicode_case.h"

namespace ormolt {

namespace {

bool parse_unsigned(std::string_view text, std::uint64_t &value) {
    if (text.starts_with('+'))
        text.remove_prefix(1);
    if (text.empty())
        return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (value > (UINT64_MAX - digit) / 10)
            return false;
        value = value * 10 + digit;
    }
    return true;
}

std::string_view strip_suffixes(std::string_view text, std::string_view suffix) {
    while (text.ends_with(suffix))
        text.remove_suffix(suffix.size());
    return text;
}

} // namespace

std::optional<LiftProgress> parse_lift_progress(std::string_view line) {
    // Trailing white space never matters: the words after the "/" ignore it.
    line = trim_unicode_space(line);
    const std::size_t slash = line.find('/');
    if (slash == std::string_view::npos)
        return std::nullopt;
    std::uint64_t count = 0;
    if (!parse_unsigned(line.substr(0, slash), count))
        return std::nullopt;
    const auto rest = split_unicode_words(line.substr(slash + 1));
    if (rest.empty() || rest[0] != "4" || count < 1 || count > 4)
        return std::nullopt;
    return LiftProgress{count, rest.size() > 1 ? std::string(rest[1]) : std::string()};
}

std::optional<CompileProgress> parse_compile_progress(std::string_view line) {
    if (!line.starts_with('['))
        return std::nullopt;
    const std::size_t close = line.find(']');
    if (close == std::string_view::npos)
        return std::nullopt;
    const std::string_view counter = line.substr(1, close - 1);
    const std::string_view rest = line.substr(close + 1);
    const std::size_t slash = counter.find('/');
    if (slash == std::string_view::npos)
        return std::nullopt;
    CompileProgress progress{};
    if (!parse_unsigned(trim_unicode_space(counter.substr(0, slash)), progress.done) ||
        !parse_unsigned(trim_unicode_space(counter.substr(slash + 1)), progress.total))
        return std::nullopt;
    const std::size_t last_slash = rest.rfind('/');
    std::string_view detail = trim_unicode_space(
        last_slash == std::string_view::npos ? rest : rest.substr(last_slash + 1));
    detail = strip_suffixes(strip_suffixes(detail, ".obj"), ".o");
    progress.detail = std::string(detail);
    return progress;
}

} // namespace ormolt
