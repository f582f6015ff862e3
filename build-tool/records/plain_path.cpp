#include "records/plain_path.h"

#include "platform/platform.h"

namespace ormolt {

namespace fs = std::filesystem;

namespace {

template <class Text> Text strip_prefix(const Text &text) {
    using Char = typename Text::value_type;
    const Char unc[] = {'\\', '\\', '?', '\\', 'U', 'N', 'C', '\\', 0};
    const Char plain[] = {'\\', '\\', '?', '\\', 0};
    const Text unc_prefix(unc), plain_prefix(plain);
    if (text.starts_with(unc_prefix))
        return Text(2, Char('\\')) + text.substr(unc_prefix.size());
    if (text.starts_with(plain_prefix))
        return text.substr(plain_prefix.size());
    return text;
}

} // namespace

fs::path plain_path(const fs::path &path) {
    return fs::path(strip_prefix(path.native()));
}

fs::path canonical_plain(const fs::path &path, std::error_code &error) {
    auto canonical = platform::canonical_path(path);
    if (!canonical) {
        error = canonical.error();
        return {};
    }
    error.clear();
    return plain_path(*canonical);
}

} // namespace ormolt
