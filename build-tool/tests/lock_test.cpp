#include "cli/build_lock.h"
#include "records/leftover_temporaries.h"

#include "records/message.h"
#include "test_support.h"
#include "testkit/shared_read.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace ormolt {
namespace {

namespace fs = std::filesystem;
using platform::Liveness;
using test::read_text;
using test::write_text;

const std::string busy_message = "this game is already being built (another window may be "
                                 "building it); wait for that to finish";

std::string own_id() {
    return std::to_string(platform::current_process_id());
}

// What the lock asked about, and what it is told.
std::vector<std::uint32_t> asked;
Liveness answer = Liveness::NotRunning;
Liveness recording_probe(std::uint32_t pid) {
    asked.push_back(pid);
    return answer;
}

TEST(BuildLock, ReadsTheOwnerIdStrictly) {
    struct Case {
        std::string contents;
        std::optional<std::uint32_t> pid; // nullopt: stale without asking
    };
    const Case cases[] = {
        {"4242", 4242},
        {"4242\r\n", 4242},
        {"+12", 12},
        {"\xE3\x80\x80 7 \t", 7},
        {"4294967295", 4294967295u},
        {"4294967296", std::nullopt},
        {"99999999999999999999", std::nullopt},
        {"-12", std::nullopt},
        {"+", std::nullopt},
        {"", std::nullopt},
        {"12ab", std::nullopt},
        {"1 2", std::nullopt},
        {"garbage", std::nullopt},
        {"0x10", std::nullopt},
        // A dead run's id that the system has given to us: we hold no lock yet.
        {own_id(), std::nullopt},
    };
    test::TempFolder temp;
    for (const Case &c : cases) {
        write_text(temp / "build.lock", c.contents);
        asked.clear();
        answer = Liveness::NotRunning;
        auto lock = take_lock(temp.path(), recording_probe);
        ASSERT_TRUE(lock) << c.contents;
        EXPECT_EQ(asked, c.pid ? std::vector<std::uint32_t>{*c.pid} : std::vector<std::uint32_t>{})
            << c.contents;
        EXPECT_EQ(read_text(temp / "build.lock"), own_id());
    }
}

TEST(BuildLock, AnOwnerWeMayNotAskAboutKeepsTheLockBusy) {
    test::TempFolder temp;
    for (Liveness owner : {Liveness::Running, Liveness::Denied}) {
        write_text(temp / "build.lock", "4242");
        answer = owner;
        const auto lock = take_lock(temp.path(), recording_probe);
        ASSERT_FALSE(lock);
        EXPECT_EQ(lock.error().message, busy_message);
        EXPECT_EQ(read_text(temp / "build.lock"), "4242"); // a busy lock is left alone
    }
}

#ifndef _WIN32
TEST(BuildLock, ChecksRealProcesses) {
    test::TempFolder temp;
    test::IdleChild child(HELPER_idle_child);
    ASSERT_GT(child.pid(), 0);
    write_text(temp / "build.lock", std::to_string(child.pid()) + "\n");
    const auto busy = take_lock(temp.path());
    ASSERT_FALSE(busy);
    EXPECT_EQ(busy.error().message, busy_message);

    child.end();
    const auto taken = take_lock(temp.path());
    ASSERT_TRUE(taken) << taken.error().message;
    EXPECT_EQ(read_text(temp / "build.lock"), own_id());
}
#endif

TEST(BuildLock, OfManyTakersOfOneStaleLockOnlyOneHoldsIt) {
    // Each taker opens the file on its own, so threads race here exactly as processes do: the
    // advisory locks and sharing modes that guard the lock belong to open files, not processes.
    // The winner's file holds our own id, which reads as alive to the others.
    constexpr int takers = 4;
    constexpr int rounds = 400;
    test::TempFolder temp;
    for (int round = 0; round < rounds; ++round) {
        write_text(temp / "build.lock", round % 2 == 0 ? "not a number" : "4294967295");
        // A spinning start line: the Windows toolchain's std::barrier can miss a wake-up and
        // leave one taker waiting for ever.
        std::atomic<int> arrived = 0;
        std::vector<std::optional<BuildLock>> held(takers);
        std::vector<std::string> refusals(takers);
        {
            std::vector<std::jthread> threads;
            for (int i = 0; i < takers; ++i)
                threads.emplace_back([&, i] {
                    arrived.fetch_add(1);
                    while (arrived.load() < takers)
                        std::this_thread::yield();
                    auto lock = take_lock(temp.path());
                    if (lock)
                        held[i] = std::move(*lock);
                    else
                        refusals[i] = lock.error().message;
                });
        }
        int holders = 0;
        for (int i = 0; i < takers; ++i) {
            holders += held[i] ? 1 : 0;
            if (!held[i]) {
                EXPECT_TRUE(refusals[i] == busy_message ||
                            refusals[i] == "cannot take " + path_text(temp / "build.lock"))
                    << refusals[i];
            }
        }
        ASSERT_EQ(holders, 1) << "round " << round;
        EXPECT_EQ(read_text(temp / "build.lock"), own_id());
        held.clear();
        EXPECT_FALSE(fs::exists(temp / "build.lock"));
    }
}

#ifndef _WIN32
TEST(ProcessLiveness, AChildThatEndedButIsNotCollectedIsNotRunning) {
    auto child = platform::start_child({"/bin/sh", {"-c", "exit 0"}, std::nullopt, {}});
    ASSERT_TRUE(child);
    platform::close_handle(child->output);
    platform::close_handle(child->errors);
    const auto pid = static_cast<std::uint32_t>(child->process);
    // Waits for the end but leaves the child uncollected: a zombie, which kill() still finds.
    siginfo_t info{};
    ASSERT_EQ(::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT), 0);
    EXPECT_EQ(platform::process_liveness(pid), Liveness::NotRunning);
    EXPECT_EQ(platform::wait_for_child(child->process).value_or(99), 0u);
    EXPECT_EQ(platform::process_liveness(platform::current_process_id()), Liveness::Running);
}
#endif

// A launcher may hold a stale lock open while it reads it: the lock is cleared and taken all the
// same, its name gone at once (on Windows through POSIX delete semantics).
TEST(BuildLock, AStaleLockThatAReaderHoldsOpenIsTaken) {
    test::TempFolder temp;
    {
        // Without POSIX delete semantics (Wine) a deleted file's name stays while it is open.
        write_text(temp / "probe", "x");
        const testkit::HeldOpenForReading holder(temp / "probe");
        std::error_code ignored;
        fs::remove(temp / "probe", ignored);
        if (fs::exists(temp / "probe"))
            GTEST_SKIP() << "this system keeps a deleted file's name while a reader holds it open";
    }
    write_text(temp / "build.lock", "4294967295");
    const testkit::HeldOpenForReading reader(temp / "build.lock");
    ASSERT_TRUE(reader.is_open());
    answer = Liveness::NotRunning;
    const auto lock = take_lock(temp.path(), recording_probe);
    ASSERT_TRUE(lock) << lock.error().message;
    EXPECT_EQ(read_text(temp / "build.lock"), own_id());
}

TEST(BuildLock, IsRemovedOnEveryWayOut) {
    test::TempFolder temp;
    const fs::path lock_file = temp / "build.lock";
    {
        auto lock = take_lock(temp.path());
        ASSERT_TRUE(lock);
        EXPECT_EQ(lock->file(), lock_file);
        EXPECT_EQ(read_text(lock_file), own_id());
        // A launcher may read it while it is held, also with a reader that refuses writers.
        EXPECT_EQ(testkit::read_letting_others_only_read(lock_file), own_id());
        // The same folder cannot be taken twice, even by its own process.
        EXPECT_FALSE(take_lock(temp.path()));
        EXPECT_EQ(testkit::read_letting_others_only_read(lock_file), own_id());
        lock->release();
        EXPECT_FALSE(fs::exists(lock_file));
        lock->release(); // harmless
    }
    const auto failing_command = [&]() -> Result<void> {
        auto lock = take_lock(temp.path());
        if (!lock)
            return std::unexpected(lock.error());
        EXPECT_TRUE(fs::exists(lock_file));
        return fail("the build failed");
    };
    EXPECT_FALSE(failing_command());
    EXPECT_FALSE(fs::exists(lock_file));

    auto moved_from = take_lock(temp.path());
    ASSERT_TRUE(moved_from);
    {
        BuildLock holder = std::move(*moved_from);
        EXPECT_TRUE(fs::exists(lock_file)); // the moved-from lock no longer owns the file
    }
    EXPECT_FALSE(fs::exists(lock_file));
}

TEST(BuildLock, ReportsWhatItCannotCreateOrClear) {
    test::TempFolder temp;
    const auto no_folder = take_lock(temp / "absent");
    ASSERT_FALSE(no_folder);
    // The system's own text follows; its wording differs between systems.
    const std::string prefix = "cannot create " + path_text(temp / "absent" / "build.lock") + ": ";
    EXPECT_TRUE(no_folder.error().message.starts_with(prefix)) << no_folder.error().message;
    EXPECT_GT(no_folder.error().message.size(), prefix.size());

    // A stale lock that comes back after being removed: here one that cannot be removed.
    write_text(temp / "build.lock" / "inside", "");
    const auto stuck = take_lock(temp.path());
    ASSERT_FALSE(stuck);
    EXPECT_EQ(stuck.error().message, "cannot take " + path_text(temp / "build.lock"));
    EXPECT_TRUE(fs::exists(temp / "build.lock" / "inside"));
}

// A stale lock that this account may not remove is busy, as an owner we may not ask about is:
// whoever made it must clear it, and nothing is wrong with the folder.
TEST(BuildLock, AStaleLockWeMayNotRemoveKeepsTheFolderBusy) {
    test::TempFolder temp;
    const fs::path folder = temp / "f";
    write_text(folder / "build.lock", "4294967295");
    fs::permissions(folder,
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    // Where the folder's permissions stop no one (an administrator), there is no such lock.
    std::error_code probe;
    fs::create_directory(folder / "probe", probe);
    if (!probe) {
        fs::remove(folder / "probe");
    } else {
        const auto taken = take_lock(folder);
        ASSERT_FALSE(taken);
        EXPECT_EQ(taken.error().message, busy_message);
        EXPECT_EQ(read_text(folder / "build.lock"), "4294967295");
    }
    fs::permissions(folder, fs::perms::owner_write, fs::perm_options::add);
}

TEST(LeftoverTemporaries, NamesCarryTheirWriter) {
    struct Case {
        const char *name;
        std::optional<std::uint32_t> writer;
    };
    const Case cases[] = {
        {"build.lock.4242-0.new", 4242},
        {"build.lock.1-18446744073709551615.new", 1},
        {"build.lock.4294967295-7.new", 4294967295u},
        {"build.lock.4294967296-7.new", std::nullopt},
        {"build.lock.4242-0.part", std::nullopt},
        {"build.lock.4242.new", std::nullopt},
        {"build.lock.4242-.new", std::nullopt},
        {"build.lock.-0.new", std::nullopt},
        {"build.lock.+4-0.new", std::nullopt},
        {"build.lock.042-0.new", std::nullopt}, // never written so
        {"build.lock.42-07.new", std::nullopt},
        {"build.lock.4-0-1.new", std::nullopt},
        {"build.lock.4-0.new.new", std::nullopt},
        {"build.lockx4-0.new", std::nullopt},
        {"build.lock.new", std::nullopt},
        {"build.lock", std::nullopt},
        {"other.lock.4-0.new", std::nullopt},
    };
    for (const auto &c : cases)
        EXPECT_EQ(temporary_writer(c.name, "build.lock", ".new"), c.writer) << c.name;
}

Liveness by_pid(std::uint32_t pid) {
    return pid == 200 ? Liveness::Running : pid == 300 ? Liveness::Denied : Liveness::NotRunning;
}

// Writers hold their temporaries from just after making them, so one that nobody holds and that
// is not brand new is left over, also when its writer's id now names another process.
TEST(BuildLock, TakingItClearsLockFilesOfWritersThatAreGone) {
    struct Case {
        std::string name;
        bool held;
        bool written_long_ago;
        bool removed;
    };
    const Case cases[] = {
        {"build.lock.100-0.new", false, false, true},  // the writer has gone
        {"build.lock.200-0.new", true, true, false},   // the writer holds it
        {"build.lock.200-1.new", false, true, true},   // the writer's id was given to another
        {"build.lock.200-2.new", false, false, false}, // the writer may be about to hold it
        {"build.lock.300-1.new", false, false, false}, // one we may not ask about, brand new
        {"build.lock.100-0.part", false, true, false}, // not a lock's temporary
        {"build.lock." + own_id() + "-9.new", false, true, false},
    };
    test::TempFolder temp;
    std::vector<platform::NativeHandle> holders;
    for (const Case &c : cases) {
        if (c.held) {
            platform::NativeHandle held = platform::no_handle;
            std::error_code error;
            ASSERT_EQ(platform::create_lock_file(temp / c.name, "1", held, error),
                      platform::NewLock::Created);
            holders.push_back(held);
        } else {
            write_text(temp / c.name, "1");
        }
        if (c.written_long_ago)
            fs::last_write_time(temp / c.name,
                                fs::file_time_type::clock::now() - std::chrono::hours(1));
    }
    fs::create_directories(temp / "build.lock.101-0.new");
    auto lock = take_lock(temp.path(), by_pid);
    ASSERT_TRUE(lock);
    for (const Case &c : cases)
        EXPECT_EQ(fs::exists(temp / c.name), !c.removed) << c.name;
    EXPECT_TRUE(fs::exists(temp / "build.lock.101-0.new"));
    for (const auto held : holders)
        platform::close_handle(held);
}

} // namespace
} // namespace ormolt
