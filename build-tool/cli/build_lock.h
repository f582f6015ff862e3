#pragma once
// build.lock: keeps two running copies of the tool from building into one folder at once.
#include "platform/platform.h"
#include "records/build_error.h"

#include <filesystem>

namespace ormolt {

// Holds the lock file while it lives, kept open so that no other process can clear it as stale;
// removes it when released or destroyed, ignoring failures, unless a stop has released it.
class BuildLock {
  public:
    BuildLock(std::filesystem::path file, platform::NativeHandle held);
    BuildLock(BuildLock &&other) noexcept;
    BuildLock &operator=(BuildLock &&other) noexcept;
    BuildLock(const BuildLock &) = delete;
    BuildLock &operator=(const BuildLock &) = delete;
    ~BuildLock() { release(); }

    const std::filesystem::path &file() const { return file_; }
    void release();

  private:
    std::filesystem::path file_; // empty once released
};

// Releases every lock this process holds, for a stop that ends the process: the next run finds
// the folder free instead of a lock to judge.
void release_locks_of_this_process();

using LivenessProbe = platform::Liveness (*)(std::uint32_t pid);

// Creates build.lock in the installation folder holding this process's id. An existing lock
// whose owner is not running is removed and the create tried once more; of several processes
// that find the same stale lock at once, at most one ends up holding the lock.
Result<BuildLock> take_lock(const std::filesystem::path &installation_folder,
                            LivenessProbe liveness = platform::process_liveness);

} // namespace ormolt
