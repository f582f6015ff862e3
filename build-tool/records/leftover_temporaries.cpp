#include "records/leftover_temporaries.h"

#include "records/message.h"

#include <charconv>
#include <chrono>
#include <utility>
#include <vector>

namespace ormolt {

namespace fs = std::filesystem;

namespace {

// Decimal digits as std::to_string writes them: no sign, no leading zero, no overflow.
template <class Number> std::optional<Number> decimal(std::string_view text) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos ||
        (text.size() > 1 && text.front() == '0'))
        return std::nullopt;
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// Untouched for a while: a writer holds its temporary from just after creating it, so only one
// that is not brand new can tell by not being held that its writer has gone.
bool settled(const fs::path &path) {
    std::error_code error;
    const auto written = fs::last_write_time(path, error);
    return !error && fs::file_time_type::clock::now() - written > std::chrono::seconds(10);
}

} // namespace

std::optional<std::uint32_t> temporary_writer(std::string_view file_name,
                                              std::string_view target_name,
                                              std::string_view suffix) {
    if (file_name.size() < target_name.size() + 1 + suffix.size() ||
        !file_name.starts_with(target_name) || !file_name.ends_with(suffix))
        return std::nullopt;
    file_name =
        file_name.substr(target_name.size(), file_name.size() - target_name.size() - suffix.size());
    if (!file_name.starts_with('.'))
        return std::nullopt;
    file_name.remove_prefix(1);
    const std::size_t dash = file_name.find('-');
    if (dash == std::string_view::npos || !decimal<std::uint64_t>(file_name.substr(dash + 1)))
        return std::nullopt;
    return decimal<std::uint32_t>(file_name.substr(0, dash));
}

void remove_orphaned_temporaries(const fs::path &target, std::string_view suffix,
                                 platform::Liveness (*liveness)(std::uint32_t pid),
                                 WritersHoldThem held) {
    const std::string target_name = path_text(target.filename());
    const fs::path folder = target.parent_path();
    std::vector<std::pair<fs::path, std::uint32_t>> found;
    if (const auto listing = platform::list_folder(folder.empty() ? fs::path(".") : folder))
        for (const platform::FolderEntry &entry : *listing)
            if (const auto writer = temporary_writer(path_text(entry.name), target_name, suffix))
                found.emplace_back(folder / entry.name, *writer);
    for (const auto &[path, writer] : found) {
        std::error_code ignored;
        if (writer == platform::current_process_id() ||
            !fs::is_regular_file(fs::symlink_status(path, ignored)))
            continue;
        if (liveness(writer) == platform::Liveness::NotRunning ||
            (held == WritersHoldThem::Yes && settled(path) && !platform::held_by_its_writer(path)))
            (void)platform::remove_file(path);
    }
}

} // namespace ormolt
