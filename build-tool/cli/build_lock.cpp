#include "cli/build_lock.h"

#include "records/build_folders.h"
#include "records/leftover_temporaries.h"
#include "records/message.h"
#include "records/unicode_case.h"

#include <algorithm>
#include <charconv>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace ormolt {

namespace fs = std::filesystem;

namespace {

// The locks this process holds, so that a stop can let them go before the process ends.
struct HeldLocks {
    std::mutex lock;
    std::vector<std::pair<fs::path, platform::NativeHandle>> held;
};

HeldLocks &held_locks() {
    static HeldLocks locks;
    return locks;
}

// Lets the lock go once: whoever comes first, the holder or a stop.
void release_held(const fs::path &file) {
    std::lock_guard guard(held_locks().lock);
    auto &held = held_locks().held;
    const auto found =
        std::ranges::find_if(held, [&](const auto &entry) { return entry.first == file; });
    if (found == held.end())
        return;
    platform::release_lock_file(found->first, found->second);
    held.erase(found);
}

} // namespace

BuildLock::BuildLock(fs::path file, platform::NativeHandle held) : file_(std::move(file)) {
    std::lock_guard guard(held_locks().lock);
    held_locks().held.emplace_back(file_, held);
}

void release_locks_of_this_process() {
    std::lock_guard guard(held_locks().lock);
    for (const auto &[file, handle] : held_locks().held)
        platform::release_lock_file(file, handle);
    held_locks().held.clear();
}

BuildLock::BuildLock(BuildLock &&other) noexcept : file_(std::move(other.file_)) {
    other.file_.clear();
}

BuildLock &BuildLock::operator=(BuildLock &&other) noexcept {
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
    release_held(file_);
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

bool owner_is_alive(const std::optional<std::string> &contents, LivenessProbe liveness) {
    if (!contents || !is_valid_utf8(*contents))
        return false;
    const auto pid = parse_process_id(trim_unicode_space(*contents));
    if (!pid)
        return false;
    // Our own id is a dead run's that the system gave to us (as Wine does to the first process
    // of every session): this process holds no lock yet.
    if (*pid == platform::current_process_id())
        return false;
    // Denied means the process exists under another account: it may well be building.
    return liveness(*pid) != platform::Liveness::NotRunning;
}

} // namespace

Result<BuildLock> take_lock(const fs::path &installation_folder, LivenessProbe liveness) {
    const fs::path lock_file = installation_folder / installation_entries::lock_file;
    const std::string own_id = std::to_string(platform::current_process_id());
    const auto stale = [liveness](const std::optional<std::string> &contents) {
        return !owner_is_alive(contents, liveness);
    };
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::error_code error;
        platform::NativeHandle held = platform::no_handle;
        switch (platform::create_lock_file(lock_file, own_id, held, error)) {
        case platform::NewLock::Created:
            // A run killed while making its lock file left that under a name of its own.
            remove_orphaned_temporaries(lock_file, ".new", liveness, WritersHoldThem::Yes);
            return BuildLock(lock_file, held);
        case platform::NewLock::Failed:
            return fail(
                message("cannot create {}: {}", path_text(lock_file), system_error_text(error)));
        case platform::NewLock::AlreadyExists:
            break;
        }
        // Only the file that was judged stale is removed, never one created meanwhile.
        if (platform::clear_stale_lock(lock_file, stale) == platform::ExistingLock::Held)
            return fail("this game is already being built (another window may be building it); "
                        "wait for that to finish");
    }
    return fail(message("cannot take {}", path_text(lock_file)));
}

} // namespace ormolt
