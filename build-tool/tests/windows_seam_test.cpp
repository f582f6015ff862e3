// What the Windows side of the platform seam asks of the system where Wine is more lenient than
// Windows: Wine copies over a read-only file and has no 260-character limit, so the calls are
// recorded by a stand-in for the system and checked here. Built for Windows only.
#include "files/folder_tree.h"
#include "intake/save_folders.h"
#include "platform/platform.h"
#include "platform/windows_file_calls.h"
#include "records/message.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace ormolt {
namespace {

namespace fs = std::filesystem;
namespace win = platform::windows;

// A file system of a few files in memory that behaves as Windows does: it refuses to delete or
// copy over a read-only file, and refuses classic paths of 260 characters or more.
class RecordingCalls : public win::FileCalls {
  public:
    std::map<std::wstring, std::uint32_t> files; // path -> attributes
    std::vector<std::string> calls;
    int busy_moves = 0;                             // moves refused as shared before one succeeds
    std::map<std::wstring, std::uint32_t> tags;     // reparse points: path -> tag
    std::map<std::wstring, std::uint32_t> followed; // links: path -> what the target is
    std::map<std::wstring, std::uint32_t> refused;  // path -> the error any query of it gives

    std::uint32_t attributes(const std::wstring &path) override {
        if (!usable(path))
            return win::no_attributes;
        if (refused.contains(path))
            return fail(refused[path]), win::no_attributes;
        const auto found = files.find(path);
        if (found == files.end())
            return fail(2), win::no_attributes;
        return found->second;
    }
    std::uint32_t reparse_tag(const std::wstring &path) override {
        if (!usable(path) || !tags.contains(path))
            return fail(2), 0;
        return tags[path];
    }
    std::uint32_t followed_attributes(const std::wstring &path) override {
        if (!usable(path) || !followed.contains(path))
            return fail(2), win::no_attributes;
        return followed[path];
    }
    bool set_attributes(const std::wstring &path, std::uint32_t attributes) override {
        record("set_attributes", path, attributes);
        if (!usable(path) || !files.contains(path))
            return fail(2);
        files[path] = attributes;
        return true;
    }
    bool delete_file(const std::wstring &path) override {
        record("delete", path);
        if (!usable(path) || !files.contains(path))
            return fail(2);
        if (files[path] & win::readonly_attribute)
            return fail(win::access_denied);
        files.erase(path);
        return true;
    }
    bool remove_directory(const std::wstring &path) override {
        record("remove_directory", path);
        return usable(path) && files.erase(path) == 1 ? true : fail(2);
    }
    bool create_directory(const std::wstring &path) override {
        record("create_directory", path);
        if (!usable(path))
            return false;
        files[path] = win::directory_attribute;
        return true;
    }
    bool copy_file(const std::wstring &from, const std::wstring &to) override {
        record("copy", to);
        if (!usable(from) || !usable(to) || !files.contains(from))
            return fail(2);
        if (files.contains(to) && (files[to] & win::readonly_attribute))
            return fail(win::access_denied);
        files[to] = files[from]; // the copy keeps the source's attributes
        return true;
    }
    bool move(const std::wstring &from, const std::wstring &to) override {
        record("move", to);
        if (busy_moves > 0) {
            --busy_moves;
            return fail(win::sharing_violation);
        }
        if (!usable(from) || !usable(to) || !files.contains(from))
            return fail(2);
        files[to] = files[from];
        files.erase(from);
        return true;
    }
    std::uint32_t last_error() override { return error_; }
    void pause() override { calls.push_back("pause"); }

  private:
    std::uint32_t error_ = 0;
    bool fail(std::uint32_t error) {
        error_ = error;
        return false;
    }
    // Windows without the long-path setting: a classic path must stay below 260 characters.
    bool usable(const std::wstring &path) {
        if (path.starts_with(L"\\\\?\\") || path.size() < 260)
            return true;
        return fail(win::path_not_found);
    }
    void record(const char *what, const std::wstring &path, std::uint32_t attributes = 0) {
        std::string line = std::string(what) + " " + path_text(fs::path(path));
        if (std::string(what) == "set_attributes")
            line += " " + std::to_string(attributes);
        calls.push_back(line);
    }
};

class WindowsSeam : public ::testing::Test {
  protected:
    void SetUp() override { win::use_file_calls(&system_); }
    void TearDown() override { win::use_file_calls(nullptr); }
    RecordingCalls system_;
};

TEST_F(WindowsSeam, ReadOnlyFilesAreReplacedAndRemovedInOurFolders) {
    const std::wstring source = L"C:\\disc\\intro.txt", target = L"C:\\F\\game\\intro.txt";
    system_.files[source] = win::readonly_attribute;
    system_.files[target] = win::readonly_attribute; // an earlier copy that kept the mark

    EXPECT_FALSE(platform::copy_file_replacing(fs::path(source), fs::path(target)));
    // The mark comes off before the copy (Windows refuses to copy over it) and off the new copy.
    EXPECT_EQ(system_.calls, (std::vector<std::string>{
                                 "set_attributes C:\\F\\game\\intro.txt 0",
                                 "copy C:\\F\\game\\intro.txt",
                                 "set_attributes C:\\F\\game\\intro.txt 0",
                             }));
    EXPECT_EQ(system_.files[target], 0u);
    EXPECT_EQ(system_.files[source], win::readonly_attribute) << "the user's file is never changed";

    system_.files[target] = win::readonly_attribute | 0x20;
    system_.calls.clear();
    EXPECT_FALSE(platform::remove_file(fs::path(target)));
    EXPECT_EQ(system_.calls, (std::vector<std::string>{
                                 "delete C:\\F\\game\\intro.txt",
                                 "set_attributes C:\\F\\game\\intro.txt 32",
                                 "delete C:\\F\\game\\intro.txt",
                             }));
    EXPECT_FALSE(system_.files.contains(target));

    // Any other refusal is reported with the system's own error.
    const auto missing = platform::remove_file(fs::path(L"C:\\F\\gone"));
    EXPECT_EQ(missing.value(), 2);
    EXPECT_EQ(missing.category(), std::system_category());
}

TEST_F(WindowsSeam, FolderRenamesWaitOutAProgramThatHoldsThem) {
    system_.files[L"C:\\F\\game.partial"] = win::directory_attribute;
    system_.busy_moves = 3;
    EXPECT_FALSE(platform::rename_path(fs::path(L"C:\\F\\game.partial"), fs::path(L"C:\\F\\game")));
    EXPECT_EQ(std::count(system_.calls.begin(), system_.calls.end(), "pause"), 3);
    EXPECT_TRUE(system_.files.contains(L"C:\\F\\game"));

    // A holder that never lets go: the rename gives up after a bounded number of tries.
    system_.files[L"C:\\F\\game.partial"] = win::directory_attribute;
    system_.busy_moves = 1000;
    system_.calls.clear();
    const auto error =
        platform::rename_path(fs::path(L"C:\\F\\game.partial"), fs::path(L"C:\\F\\game2"));
    EXPECT_EQ(error.value(), static_cast<int>(win::sharing_violation));
    EXPECT_LT(std::count(system_.calls.begin(), system_.calls.end(), "pause"), 100);
}

TEST_F(WindowsSeam, LongPathsReachTheSystemInExtendedLengthForm) {
    std::wstring deep = L"C:\\Users\\Zo\u00eb \u674e\\AppData\\Local\\ormolt\\builds\\51520001";
    while (deep.size() < 300)
        deep += L"\\a folder with a long name";
    const std::wstring file = deep + L"\\default.xbe";
    system_.files[L"C:\\disc\\default.xbe"] = 0;
    ASSERT_FALSE(platform::create_folders(fs::path(deep)));
    ASSERT_FALSE(platform::copy_file_replacing(fs::path(L"C:\\disc\\default.xbe"), fs::path(file)));
    EXPECT_TRUE(system_.files.contains(L"\\\\?\\" + file));
    ASSERT_FALSE(platform::rename_path(fs::path(file), fs::path(deep + L"\\b.xbe")));
    ASSERT_FALSE(platform::remove_file(fs::path(deep + L"\\b.xbe")));
    for (const std::string &call : system_.calls) {
        SCOPED_TRACE(call);
        const std::string path = call.substr(call.find(' ') + 1);
        if (path.size() >= 260) {
            EXPECT_TRUE(path.starts_with("\\\\?\\C:\\Users\\Zo\xC3\xAB \xE6\x9D\x8E\\"));
        }
    }

    // Short paths stay as they are; forward slashes and ".." are resolved before the prefix
    // goes on, since the system takes an extended-length path literally.
    EXPECT_EQ(win::system_path(fs::path(L"C:\\F\\game")), L"C:\\F\\game");
    const std::wstring messy = deep + L"/x/../default.xbe";
    EXPECT_EQ(win::system_path(fs::path(messy)), L"\\\\?\\" + file);
    EXPECT_EQ(win::system_path(fs::path(L"\\\\server\\share\\" + deep.substr(3))),
              L"\\\\?\\UNC\\server\\share\\" + deep.substr(3));
    EXPECT_EQ(win::system_path(fs::path(L"\\\\?\\" + file)), L"\\\\?\\" + file);
}

// What is removed or carried is decided by queries that reach long paths: a classic path past
// the limit reads as "path not found" there, which would leave a tree in place unannounced and
// lose game\UDATA with the old game. Only a missing entry reads as nothing there.
TEST_F(WindowsSeam, EntryQueriesReachLongPathsAndReportRefusals) {
    std::wstring deep = L"C:\\Users\\Zo\u00eb\\AppData\\Local\\ormolt\\builds\\51520001\\game";
    while (deep.size() < 280)
        deep += L"\\a folder with a long name";
    const std::wstring prefixed = L"\\\\?\\" + deep;
    constexpr std::uint32_t surrogate = 0xA000000C; // a symbolic link's tag
    constexpr std::uint32_t link = win::reparse_point_attribute;
    system_.files[prefixed + L"\\UDATA"] = win::directory_attribute;
    system_.files[prefixed + L"\\default.xbe"] = 0x20;
    system_.files[L"C:\\F\\link"] = link | win::directory_attribute;
    system_.tags[L"C:\\F\\link"] = surrogate;
    system_.followed[L"C:\\F\\link"] = win::directory_attribute;
    system_.files[L"C:\\F\\dangling"] = link;
    system_.tags[L"C:\\F\\dangling"] = surrogate;
    system_.files[L"C:\\F\\deduplicated"] = link;
    system_.tags[L"C:\\F\\deduplicated"] = 0x80000013; // not a name surrogate
    system_.refused[L"C:\\F\\locked"] = win::access_denied;

    using platform::EntryKind;
    using platform::Links;
    struct Case {
        std::wstring path;
        Links links;
        std::optional<EntryKind> kind; // nullopt: the system's error
    };
    const Case cases[] = {
        {deep + L"\\UDATA", Links::NotFollowed, EntryKind::Folder},
        {deep + L"\\default.xbe", Links::Followed, EntryKind::File},
        {deep + L"\\missing", Links::NotFollowed, EntryKind::None},
        {L"C:\\F\\link", Links::NotFollowed, EntryKind::Link},
        {L"C:\\F\\link", Links::Followed, EntryKind::Folder},
        {L"C:\\F\\dangling", Links::NotFollowed, EntryKind::Link},
        {L"C:\\F\\dangling", Links::Followed, EntryKind::None},
        {L"C:\\F\\deduplicated", Links::NotFollowed, EntryKind::File},
        {L"C:\\F\\locked", Links::NotFollowed, std::nullopt},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(path_text(fs::path(c.path)) +
                     (c.links == Links::Followed ? " followed" : " not followed"));
        const auto kind = platform::entry_kind(fs::path(c.path), c.links);
        if (c.kind) {
            ASSERT_TRUE(kind.has_value()) << system_error_text(kind.error());
            EXPECT_EQ(*kind, *c.kind);
        } else {
            ASSERT_FALSE(kind.has_value());
            EXPECT_EQ(kind.error().value(), static_cast<int>(win::access_denied));
        }
    }

    EXPECT_EQ(is_save_folder(fs::path(deep + L"\\UDATA")), true);
    ASSERT_TRUE(remove_if_present(fs::path(deep + L"\\default.xbe")).has_value());
    EXPECT_FALSE(system_.files.contains(prefixed + L"\\default.xbe"));
    const auto refused = remove_if_present(fs::path(L"C:\\F\\locked"));
    ASSERT_FALSE(refused.has_value());
    EXPECT_EQ(refused.error().message,
              "cannot remove C:\\F\\locked: " +
                  system_error_text(std::error_code(5, std::system_category())));
}

// The system's own texts, in UTF-8 and whole: the narrow call gives the ANSI code page's bytes
// and nothing at all for a message with inserts.
TEST(WindowsErrors, TheSystemsOwnTextComesOutAsUtf8) {
    for (const int code : {5, 32, 193, 1392}) {
        SCOPED_TRACE(code);
        const std::string text = system_error_text(std::error_code(code, std::system_category()));
        EXPECT_FALSE(text.empty());
        EXPECT_TRUE(is_valid_utf8(text));
        EXPECT_EQ(text.find("Unknown error"), std::string::npos) << text;
        EXPECT_EQ(text.find('\n'), std::string::npos);
        EXPECT_NE(text.back(), '.');
    }
}

} // namespace
} // namespace ormolt
