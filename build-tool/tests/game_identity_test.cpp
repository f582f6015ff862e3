// The identity check: which image a game copy is, the refusals with what the copy actually is,
// and the relink refusal.
#include "identity/file_sha1.h"
#include "identity/game_identity.h"
#include "test_support.h"
#include "testkit/xbe_builder.h"

#include <cctype>
#include <functional>

namespace ormolt {
namespace {

namespace fs = std::filesystem;

testkit::TestXbe game_xbe() {
    testkit::TestXbe xbe;
    xbe.title_id = 0x4D530004;
    xbe.title_name = u"Sample Game";
    xbe.game_regions = 0x5;
    return xbe;
}

const std::string other_a(40, 'a');
const std::string other_b(40, 'b');

class IdentityCheck : public ::testing::Test {
  protected:
    IdentityCheck() {
        release.title_name = "Sample Game";
        release.release_dir = folder / "release";
        EXPECT_FALSE(testkit::write_test_xbe(xbe_path(), game_xbe()));
        digest = file_sha1_hex(xbe_path()).value();
    }
    fs::path xbe_path(const char *name = "default.xbe") const {
        return folder / "install" / "game" / name;
    }
    Result<Image> check() { return check_game_identity(release, folder / "install"); }

    test::TempFolder folder;
    Release release;
    std::string digest;
};

TEST_F(IdentityCheck, FirstMatchingImageWins) {
    release.images = {{other_a, "Other", std::nullopt},
                      {digest, "Retail", std::string("retail.toml")},
                      {digest, "Duplicate", std::nullopt}};
    test::EventCapture events;
    const auto image = check();
    ASSERT_TRUE(image) << image.error().message;
    EXPECT_EQ(image->name, "Retail");
    EXPECT_EQ(image->config, "retail.toml");
    EXPECT_EQ(image->sha1, digest);

    const auto progress = events.of_kind("progress");
    ASSERT_EQ(progress.size(), 2u);
    EXPECT_EQ(progress[0]["stage"], "check");
    EXPECT_EQ(progress[0]["done"], 0);
    EXPECT_EQ(progress[1]["done"], 1);
    EXPECT_EQ(progress[1]["total"], 1);
    EXPECT_EQ(progress[1]["detail"], "Retail");
}

TEST_F(IdentityCheck, UnsupportedCopySaysWhatItIsAndWhatTheReleaseTakes) {
    std::string upper = digest;
    for (char &c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    struct Case {
        const char *name;
        std::vector<Image> images;
        std::string list;
    };
    const Case cases[] = {
        {"named images",
         {{other_a, "Retail", {}}, {other_b, "Platinum", {}}},
         "Retail (" + other_a + "), Platinum (" + other_b + ")"},
        {"unnamed images", {{other_a, "", {}}, {other_b, "", {}}}, other_a + ", " + other_b},
        {"mixed",
         {{other_a, "", {}}, {other_b, "Platinum", {}}},
         other_a + ", Platinum (" + other_b + ")"},
        // Digests are stored in lower case; a copy must match exactly.
        {"upper-case digest does not match", {{upper, "", {}}}, upper},
    };
    for (const Case &test : cases) {
        SCOPED_TRACE(test.name);
        release.images = test.images;
        test::EventCapture events;
        const auto result = check();
        ASSERT_FALSE(result);
        EXPECT_EQ(result.error().kind, ErrorKind::Unsupported);
        EXPECT_EQ(result.error().message,
                  "This isn't a copy of Sample Game this release supports. Its default.xbe is "
                  "Sample Game (4D530004, USA, Europe), SHA-1 " +
                      digest + ". This release was made for: " + test.list + ".");
    }
}

TEST_F(IdentityCheck, UnparsableXbeIsDescribedAsUnreadable) {
    release.images = {{other_a, "Retail", {}}};
    test::write_text(xbe_path(), "not an XBE at all");
    const std::string junk_digest = file_sha1_hex(xbe_path()).value();
    const auto result = check();
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().message,
              "This isn't a copy of Sample Game this release supports. Its default.xbe is an "
              "unreadable XBE, SHA-1 " +
                  junk_digest + ". This release was made for: Retail (" + other_a + ").");
}

TEST_F(IdentityCheck, MissingXbeNamesTheReleasesXbe) {
    release.images = {{digest, "Retail", {}}};
    struct Case {
        const char *name;
        std::optional<std::string> xbe;
        std::function<void()> arrange;
        std::string message;
    };
    const Case cases[] = {
        {"release names another XBE than the one present", "main.xbe", [] {},
         "This isn't a copy of Sample Game: it has no main.xbe."},
        {"XBE path is a folder", "folder.xbe",
         [this] { fs::create_directories(xbe_path("folder.xbe")); },
         "This isn't a copy of Sample Game: it has no folder.xbe."},
        {"no game folder at all", std::nullopt, [this] { fs::remove_all(folder / "install"); },
         "This isn't a copy of Sample Game: it has no default.xbe."},
    };
    for (const Case &test : cases) {
        SCOPED_TRACE(test.name);
        release.xbe = test.xbe;
        test.arrange();
        const auto result = check();
        ASSERT_FALSE(result);
        EXPECT_EQ(result.error().kind, ErrorKind::Unsupported);
        EXPECT_EQ(result.error().message, test.message);
    }
}

TEST(RelinkRefusal, NamesBothDigestsAndAsksForABuild) {
    Release release;
    release.title_name = "Sample Game";
    release.xbe = "main.xbe";
    const BuildError error = different_copy_error(release, other_b, other_a);
    EXPECT_EQ(error.kind, ErrorKind::Rebuild);
    EXPECT_EQ(error.message, "This is a different copy of Sample Game from the one it was built "
                             "from (its main.xbe has SHA-1 " +
                                 other_b + ", not " + other_a + "). Build again to use it.");
}

} // namespace
} // namespace ormolt
