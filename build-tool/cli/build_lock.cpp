#include "cli/build_lock.h"

#include "records/build_folders.h"
#include "records/message.h"
#include "records/text_file.h"
#include "records/unicode_case.h"

#include <charconv>
#include <optional>

namespace ormolt {

namespace fs = std::filesystem;

BuildLock::BuildLock(BuildLock&& other) noexcept : file_(std::move(other.file_)) {
    other.file_.clear();
}

BuildLock& BuildLock::operator=(BuildLock&& other) noexcept {
    if (this != &other) {
        release();
        file_ = std::move(other.file_);
        other.file_.clear();
    }
    return *this;
}

void BuildLock::release() {
    if (file_.empty())
        return;
    std::error_code ignored;
    fs::remove(file_, ignored);
    file_.clear();
}

namespace {

// An unsigned 32-bit decimal number: an optional "+", then digits only.
std::optional<std::uint32_t> parse_process_id(std::string_view text) {
    if (text.starts_with('+'))
        text.remove_prefix(1);
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos)
        return std::nullopt;
    std::uint32_t pid = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), pid);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return pid;
}

bool owner_is_alive(const fs::path& lock_file, LivenessProbe liveness) {
    auto text = read_utf8_file(lock_file);
    if (!text)
        return false;
    const auto pid = parse_process_id(trim_unicode_space(*text));
    if (!pid)
        return false;
    // Denied means the process exists under another account: it may well be building.
    return liveness(*pid) != platform::Liveness::NotRunning;
}

} // namespace

Result<BuildLock> take_lock(const fs::path& installation_folder, LivenessProbe liveness) {
    const fs::path lock_file = installation_folder / installation_entries::lock_file;
    const std::string own_id = std::to_string(platform::current_process_id());
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::error_code error;
        switch (platform::create_new_file(lock_file, own_id, error)) {
        case platform::NewFile::Created:
            return BuildLock(lock_file);
        case platform::NewFile::Failed:
            return fail(
                message("cannot create {}: {}", path_text(lock_file), system_error_text(error)));
        case platform::NewFile::AlreadyExists:
            break;
        }
        if (owner_is_alive(lock_file, liveness))
            return fail("this game is already being built (another window may be building it); "
                        "wait for that to finish");
        std::error_code ignored;
        fs::remove(lock_file, ignored);
    }
    return fail(message("cannot take {}", path_text(lock_file)));
}

} // namespace ormolt
