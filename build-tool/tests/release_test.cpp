#include "records/release.h"

#include "records/message.h"
#include "test_support.h"
#include "testkit/release_folder.h"

#include <gtest/gtest.h>

namespace ormolt {
namespace {

constexpr const char *base_members =
    R"("title_id": "51520001", "title_name": "Game", "version": "2", "exe": "game")";

std::string with_base(const std::string &more) {
    return "{" + std::string(base_members) + (more.empty() ? "" : ", " + more) + "}";
}

class ReleaseTest : public ::testing::Test {
  protected:
    Result<Release> load(const std::string &text) {
        EXPECT_FALSE(testkit::write_release_text(release_dir(), text));
        return load_release(release_dir());
    }
    std::filesystem::path release_dir() const { return temp_ / "R"; }
    std::string shown() const { return path_text(release_dir() / "release.json"); }

    test::TempFolder temp_;
};

TEST_F(ReleaseTest, RefusesMalformedDescriptionsWithThePositionOfTheFault) {
    struct Case {
        std::string text;
        std::string reason; // after "is not a valid release file: "
    };
    const Case cases[] = {
        {"", "parse error at line 1, column 1: syntax error while parsing value - unexpected end "
             "of input; expected '[', '{', or a literal"},
        {"\xEF\xBB\xBF" + with_base(R"("xbe_sha1": ["aa"])"),
         "parse error at line 1, column 1: a byte order mark is not JSON text"},
        {with_base(R"("xbe_sha1": ["aa"])") + "\n{}",
         "parse error at line 2, column 1: syntax error while parsing value - unexpected '{'; "
         "expected end of input"},
        {with_base(R"("xbe_sha1": ["aa"])") + std::string("\0garbage", 8),
         "parse error at line 1, column 98: syntax error while parsing value - unexpected NUL "
         "byte; expected end of input"},
        {"[1]", "the value at line 1, column 1 must be an object, not an array"},
        {"{\"title_id\": \"a\",\n \"title_id\": \"b\"}",
         "duplicate member \"title_id\" at line 2, column 11"},
        {R"({"title_id": "a", "version": "1"})",
         "missing member \"title_name\" in the object at line 1, column 1"},
        {R"({"title_id": null, "title_name": "G", "version": "1", "exe": "g"})",
         "member \"title_id\" at line 1, column 17 must be a string, not null"},
        {R"({"title_id": "a", "title_name": "G", "version": 12, "exe": "g"})",
         "member \"version\" at line 1, column 50 must be a string, not 12"},
        {with_base(R"("images": null)"),
         "member \"images\" at line 1, column 92 must be an array of objects, not null"},
        {with_base(R"("xbe_sha1": null)"),
         "member \"xbe_sha1\" at line 1, column 94 must be an array of strings, not null"},
        {with_base(R"("xbe_sha1": ["aa", 5])"),
         "element 1 of member \"xbe_sha1\" at line 1, column 98 must be a string, not 5"},
        {with_base(R"("images": [{"name": "x"}])"),
         "missing member \"sha1\" in the object at line 1, column 90"},
        {with_base(R"("images": [{"sha1": "aa", "name": null}])"),
         "member \"name\" at line 1, column 116 must be a string, not null"},
        {with_base(R"("images": [{"sha1": "aa", "sha1": "bb"}])"),
         "duplicate member \"sha1\" at line 1, column 110"},
        {with_base(R"("xbe_sha1": ["aa"], "lift": "script.py")"),
         "member \"lift\" at line 1, column 117 must be an array of strings or null, not a "
         "string"},
        {with_base(R"("xbe_sha1": ["aa"], "launcher": true)"),
         "member \"launcher\" at line 1, column 114 must be a string or null, not true"},
    };
    for (const Case &c : cases) {
        const auto release = load(c.text);
        ASSERT_FALSE(release) << c.text;
        EXPECT_EQ(release.error().message, shown() + " is not a valid release file: " + c.reason)
            << c.text;
        EXPECT_EQ(release.error().kind, ErrorKind::Ordinary);
    }
}

TEST_F(ReleaseTest, RefusesDescriptionsWithoutImagesOrWithAPathAsXbe) {
    struct Case {
        std::string more;
        std::string message; // after the shown path
    };
    const Case cases[] = {
        {"", " names no default.xbe images"},
        {R"("xbe": null, "images": [])", " names no default.xbe images"},
        {R"("xbe": "main.xbe", "xbe_sha1": [])", " names no main.xbe images"},
        {R"("xbe": "game/default.xbe", "xbe_sha1": ["aa"])",
         ": xbe must be a file name in the game folder"},
        {R"("xbe": "game\\default.xbe", "xbe_sha1": ["aa"])",
         ": xbe must be a file name in the game folder"},
        {R"("xbe": ".hidden", "xbe_sha1": ["aa"])", ": xbe must be a file name in the game folder"},
        {R"("xbe": "..", "xbe_sha1": ["aa"])", ": xbe must be a file name in the game folder"},
    };
    for (const Case &c : cases) {
        const auto release = load(with_base(c.more));
        ASSERT_FALSE(release) << c.more;
        EXPECT_EQ(release.error().message, shown() + c.message) << c.more;
    }
}

TEST_F(ReleaseTest, RefusesATitleIdThatIsNoPlainFolderName) {
    // The title id names the default build folder; it must not reach outside it.
    const std::string refusal =
        ": title_id must be a plain folder name (no \"/\", \"\\\", \":\" or \"..\")";
    const std::pair<std::string, bool> cases[] = {
        {"51520001", true}, {"a.b", true},     {"../escape", false}, {"..", false},
        {"a/b", false},     {"a\\\\b", false}, {"/abs", false},      {"c:x", false},
        {"x..y", false},    {".", false},      {"", false},
    };
    for (const auto &[title_id, accepted] : cases) {
        const auto release = load(R"({"title_id": ")" + title_id +
                                  R"(", "title_name": "G", "version": "1", "exe": "g", )"
                                  R"("xbe_sha1": ["aa"]})");
        EXPECT_EQ(release.has_value(), accepted) << title_id;
        if (!release) {
            EXPECT_EQ(release.error().message, shown() + refusal) << title_id;
        }
    }
}

TEST_F(ReleaseTest, ReadsAFullDescription) {
    const auto release = load(R"({
  "title_id": "4d530004", "title_name": "Game", "version": "1.2", "exe": "game",
  "launcher": "Launcher.exe",
  "images": [{"sha1": "ABCDEF", "name": "PAL", "config": "pal.toml", "extra": {"x": [1]}}],
  "lift": ["lift.py", "--fast"],
  "xbe": "main.xbe",
  "future": null
})");
    ASSERT_TRUE(release) << release.error().message;
    EXPECT_EQ(release->title_id, "4D530004");
    EXPECT_EQ(release->title_name, "Game");
    EXPECT_EQ(release->version, "1.2");
    EXPECT_EQ(release->exe, "game");
    EXPECT_EQ(release->launcher, "Launcher.exe");
    ASSERT_EQ(release->images.size(), 1u);
    EXPECT_EQ(release->images[0].sha1, "abcdef");
    EXPECT_EQ(release->images[0].name, "PAL");
    EXPECT_EQ(release->images[0].config, "pal.toml");
    EXPECT_EQ(release->lift, (std::vector<std::string>{"lift.py", "--fast"}));
    EXPECT_EQ(release->xbe_name(), "main.xbe");
    EXPECT_EQ(release->release_dir, release_dir());
}

TEST_F(ReleaseTest, NormalisesCaseAndMergesDigestsWithoutRepeats) {
    struct Case {
        std::string more;
        std::vector<std::pair<std::string, std::string>> images; // sha1, name
    };
    const Case cases[] = {
        {R"("xbe_sha1": ["AbCd", "abcd", "ef"])", {{"abcd", ""}, {"ef", ""}}},
        {R"("images": [{"sha1": "ABCD", "name": "NTSC"}], "xbe_sha1": ["abcd", "12"])",
         {{"abcd", "NTSC"}, {"12", ""}}},
        {R"("images": [{"sha1": "AA"}, {"sha1": "aa"}])", {{"aa", ""}, {"aa", ""}}},
    };
    for (const Case &c : cases) {
        const auto release = load(with_base(c.more));
        ASSERT_TRUE(release) << release.error().message;
        std::vector<std::pair<std::string, std::string>> images;
        for (const Image &image : release->images) {
            images.emplace_back(image.sha1, image.name);
            EXPECT_FALSE(image.config);
        }
        EXPECT_EQ(images, c.images) << c.more;
        EXPECT_TRUE(release->xbe_sha1.empty());
    }
}

TEST_F(ReleaseTest, UpperCasesTheTitleIdWithFullMappings) {
    const auto release = load(R"({"title_id": "stra\u00dfe", "title_name": "G", "version": "1",
        "exe": "g", "launcher": null, "lift": null, "xbe": null, "xbe_sha1": ["aa"]})");
    ASSERT_TRUE(release) << release.error().message;
    EXPECT_EQ(release->title_id, "STRASSE");
    EXPECT_FALSE(release->launcher);
    EXPECT_FALSE(release->lift);
    EXPECT_EQ(release->xbe_name(), "default.xbe");
}

TEST_F(ReleaseTest, ReportsUnreadableFilesWithTheSystemReason) {
    auto missing = load_release(temp_ / "nowhere");
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().message,
              "cannot read " + path_text(temp_ / "nowhere" / "release.json") + ": " +
                  test::nothing_at(temp_ / "nowhere" / "release.json"));

    auto not_utf8 = load(with_base(R"("xbe_sha1": ["a)"
                                   "\xFF"
                                   R"("])"));
    ASSERT_FALSE(not_utf8);
    EXPECT_EQ(not_utf8.error().message,
              "cannot read " + shown() + ": " +
                  system_error_text(std::make_error_code(std::errc::illegal_byte_sequence)));
}

} // namespace
} // namespace ormolt
