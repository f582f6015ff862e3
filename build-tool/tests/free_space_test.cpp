#include "files/free_space.h"

#include "records/message.h"
#include "test_support.h"

namespace ormolt {
namespace {

namespace fs = std::filesystem;

TEST(FreeSpace, GigabytesWithOneDecimal) {
    struct Case {
        std::uint64_t bytes;
        bool round_up;
        const char *text;
    };
    const Case cases[] = {
        {0, true, "0.0"},
        {1, true, "0.1"},
        {1, false, "0.0"},
        {100'000'000, true, "0.1"},
        {100'000'001, true, "0.2"},
        {7'250'000'000, true, "7.3"},
        {5'199'999'999, false, "5.1"},
        {9'999'999'999, true, "10.0"},
        {18'446'744'073'709'551'615ull, false, "18446744073.7"},
        {18'446'744'073'709'551'615ull, true, "18446744073.8"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(gigabytes_text(c.bytes, c.round_up), c.text)
            << c.bytes << (c.round_up ? " up" : " down");
}

TEST(FreeSpace, AGameThatDoesNotFitIsRefused) {
    const fs::path folder = fs::path("/games") / "sample";
    struct Case {
        std::uint64_t needed;
        std::optional<std::uint64_t> free;
        std::string message; // empty: it fits
    };
    const Case cases[] = {
        {7'250'000'000, 5'150'000'000,
         "Not enough free space for " + path_text(folder) +
             ": the game needs 7.3 GB, 5.1 GB is free."},
        // Close figures still read as different: the need is rounded up, the room down.
        {5'100'000'001, 5'100'000'000,
         "Not enough free space for " + path_text(folder) +
             ": the game needs 5.2 GB, 5.1 GB is free."},
        {5'100'000'000, 5'100'000'000, ""},
        {0, 0, ""},
        {1, std::nullopt, ""}, // the system cannot tell: the writes will
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.needed);
        std::vector<fs::path> asked;
        const auto checked = check_free_space(folder, c.needed, [&](const fs::path &path) {
            asked.push_back(path);
            return c.free;
        });
        EXPECT_EQ(asked, std::vector<fs::path>{folder});
        EXPECT_EQ(checked ? std::string() : checked.error().message, c.message);
        if (!checked) {
            EXPECT_EQ(checked.error().kind, ErrorKind::Ordinary);
        }
    }
}

TEST(FreeSpace, AFailureOnAFullDiskSaysSo) {
    const fs::path folder = fs::path("/games") / "sample";
    const std::string failure = "CMake failed (exit code: 1). Its last lines:\n\n\nThe whole log "
                                "is /games/sample/build.log";
    const std::string full =
        "cannot write " + path_text(folder) + ": " +
        system_error_text(std::make_error_code(std::errc::no_space_on_device)) + "\n\n" + failure;
    struct Case {
        std::optional<std::uint64_t> free;
        std::string expected;
    };
    const Case cases[] = {
        {0, full},
        {nearly_full_bytes - 1, full},
        {nearly_full_bytes, failure},
        {std::nullopt, failure},
    };
    for (const auto &c : cases)
        EXPECT_EQ(with_full_disk_note(failure, folder, c.free), c.expected)
            << (c.free ? std::to_string(*c.free) : "unknown");
}

} // namespace
} // namespace ormolt
