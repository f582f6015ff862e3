#include "files/folder_tree.h"
#include "intake/safe_names.h"
#include "intake/save_folders.h"
#include "records/message.h"
#include "test_support.h"

#ifdef __linux__
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace ormolt {
namespace {

namespace fs = std::filesystem;
using test::TempFolder;

TEST(FolderTree, RemoveIfPresentNeverFollowsLinks) {
    TempFolder root;
    test::write_text(root / "target" / "keep.txt", "keep");
    test::write_text(root / "tree" / "a" / "b.txt", "b");
    if (!test::make_symlink(root / "target", root / "tree" / "a" / "link"))
        GTEST_SKIP() << test::no_symlinks;
    ASSERT_TRUE(test::make_symlink(root / "target", root / "dirlink"));
    ASSERT_TRUE(test::make_symlink(root / "target" / "keep.txt", root / "filelink"));
    test::write_text(root / "file.txt", "x");

    for (const char *name : {"tree", "dirlink", "filelink", "file.txt", "nothing-here"}) {
        ASSERT_TRUE(remove_if_present(root / name).has_value()) << name;
        std::error_code error;
        EXPECT_FALSE(fs::exists(fs::symlink_status(root / name, error))) << name;
    }
    EXPECT_EQ(test::read_text(root / "target" / "keep.txt"), "keep");
}

// Keeps one file from being removed while it lives: held open without delete sharing on
// Windows, marked immutable on Linux (where the tests may run as root, whom permissions do not
// stop).
class Unremovable {
  public:
    explicit Unremovable(const fs::path &file) : file_(file) {
#ifdef _WIN32
        stream_.open(file, std::ios::binary | std::ios::in);
        works_ = stream_.is_open();
#elif defined(__linux__)
        works_ = set_immutable(true);
#endif
    }
    ~Unremovable() {
#ifdef __linux__
        if (works_)
            (void)set_immutable(false);
#endif
    }
    Unremovable(const Unremovable &) = delete;
    Unremovable &operator=(const Unremovable &) = delete;
    bool works() const {
        return works_;
    }

  private:
#ifdef __linux__
    bool set_immutable(bool on) const {
        const int fd = ::open(file_.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return false;
        int flags = 0;
        bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        if (done) {
            flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
            done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        }
        ::close(fd);
        return done;
    }
#endif
    fs::path file_;
    std::ifstream stream_;
    bool works_ = false;
};

TEST(FolderTree, ARemovalThatFailsNamesThePathAskedFor) {
    TempFolder root;
    const fs::path stuck_file = root / "tree" / "a" / "b" / "stuck.txt";
    test::write_text(stuck_file, "x");
    test::write_text(root / "tree" / "a" / "other.txt", "y");
    Unremovable stuck(stuck_file);
    if (!stuck.works())
        GTEST_SKIP() << "this system offers no way to keep a file from removal here";
    const auto removed = remove_if_present(root / "tree");
    ASSERT_FALSE(removed);
    // The system's reason follows; it tells what failed inside, in its own words.
    const std::string prefix = "cannot remove " + path_text(root / "tree") + ": ";
    EXPECT_TRUE(removed.error().message.starts_with(prefix)) << removed.error().message;
    EXPECT_GT(removed.error().message.size(), prefix.size());
}

// Only a missing entry is nothing to remove or carry: a query the system refuses (here a name
// longer than any folder may hold) is an error, not an empty place.
TEST(FolderTree, AQueryTheSystemRefusesIsAnErrorNotAbsence) {
#ifdef _WIN32
    GTEST_SKIP() << "Wine answers a name that is too long as not found; what Windows is asked is "
                    "checked at the seam (WindowsSeam)";
#endif
    TempFolder root;
    const std::string too_long(300, 'n');
    struct Case {
        fs::path path;
        bool refused;
    };
    const Case cases[] = {
        {root / "missing", false},
        {root / "missing" / "below", false},
        {root / too_long, true},
        {root / ("UDATA." + too_long), true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(path_text(c.path.filename()).substr(0, 20));
        const auto removed = remove_if_present(c.path);
        const auto save = is_save_folder(c.path);
        EXPECT_EQ(removed.has_value(), !c.refused);
        if (!removed) {
            EXPECT_TRUE(
                removed.error().message.starts_with("cannot remove " + path_text(c.path) + ": "));
        }
        // A name that is no save name needs no query at all.
        const bool save_name = is_save_folder_name(path_text(c.path.filename()));
        EXPECT_EQ(save.has_value(), !(c.refused && save_name));
        if (save) {
            EXPECT_FALSE(*save);
        }
    }
}

TEST(FolderTree, CopySkipsDiscSavesAtEveryDepth) {
    TempFolder root;
    const fs::path source = root / "source";
    test::write_text(source / "default.xbe", "xbe");
    test::write_text(source / "Media" / "a.bin", "a");
    test::write_text(source / "UDATA" / "s", "disc save");
    test::write_text(source / "Media" / "tData" / "s", "disc save");
    test::write_text(source / "Media" / "udata.txt", "a file of another name");
    test::write_text(root / "copy" / "default.xbe", "old contents");

    ASSERT_TRUE(copy_folder_tree(source, root / "copy").has_value());
    EXPECT_EQ(test::read_text(root / "copy" / "default.xbe"), "xbe");
    EXPECT_EQ(test::read_text(root / "copy" / "Media" / "a.bin"), "a");
    EXPECT_TRUE(fs::exists(root / "copy" / "Media" / "udata.txt"));
    EXPECT_FALSE(fs::exists(root / "copy" / "UDATA"));
    EXPECT_FALSE(fs::exists(root / "copy" / "Media" / "tData"));
}

TEST(FolderTree, CopyRefusesLinks) {
    TempFolder root;
    const fs::path source = root / "source";
    test::write_text(source / "Media" / "a.bin", "a");
    test::write_text(root / "outside.bin", "outside");
    if (!test::make_symlink(root / "outside.bin", source / "Media" / "b.bin"))
        GTEST_SKIP() << test::no_symlinks;
    const auto result = copy_folder_tree(source, root / "copy");
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().message,
              path_text(source / "Media" / "b.bin") +
                  " is a link; choose an ISO or a folder with real game files");
}

TEST(SafeNames, PiecesThatWouldLeaveTheFolder) {
    struct Case {
        const char *path;
        bool posix, windows;
    };
    const Case cases[] = {
        {"default.xbe", true, true},
        {"Media/a.bin", true, true},
        {"./a", true, true},
        {"..", false, false},
        {"a/../b", false, false},
        {"a//b", false, false},
        {"", false, false},
        {"a/", false, false},
        {"a\\..\\b", true, false},
        {"C:", true, false},
        {"a:stream", true, false},
        {"CON", true, false},
        {"nul.txt", true, false},
        {"com1", true, false},
        {"LPT\xc2\xb9", true, false},
        {"Com10", true, true},
        {"...", true, false},
        {"a. ", true, false},
        {"tab\tname", false, false},
        {"caf\xc3\xa9", true, true},
        {"CONSOLE", true, true},
        // A NUL or another C0 control is refused; C1 code points come from ordinary Shift-JIS
        // bytes (0x81 decodes to U+0081) and are accepted, as is DEL.
        {"del\x7f", true, true},
        {"c1\xc2\x81", true, true},
        {"\xc2\x9d\xc2\x90", true, true},
        {"esc\x1b", false, false},
        {"a/\x1f/b", false, false},
        {"\xc2\xa0nbsp", true, true},
        // The characters Windows reserves, at any depth.
        {"a|b", true, false},
        {"Media/<b>", true, false},
        {"what?", true, false},
        {"star*.bin", true, false},
        {"say \"hi\"", true, false},
        {"d/e>f/g", true, false},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(is_safe_relative_path(c.path, NameRules::Posix), c.posix) << c.path;
        EXPECT_EQ(is_safe_relative_path(c.path, NameRules::Windows), c.windows) << c.path;
    }
    const std::string with_nul("default.xbe\0evil", 16);
    EXPECT_FALSE(is_safe_relative_path(with_nul, NameRules::Posix));
    EXPECT_FALSE(is_safe_relative_path("Media/" + with_nul, NameRules::Windows));
}

// A refusal says why where the reason is Windows' own, naming the file.
TEST(SafeNames, RefusalsSayWhatWindowsCannotHold) {
    struct Case {
        std::string path;
        NameRules rules;
        std::optional<std::string> tail; // after "S has an unsafe file name: "; nullopt: safe
    };
    // Shift-JIS "ソ" is 0x83 0x5C, which windows-1252 reads as "ƒ\".
    const std::string so = "\xC6\x92\\";
    const Case cases[] = {
        {"Media/a|b.bin", NameRules::Windows,
         "Media/a|b.bin (Windows cannot hold \"|\" in a file name)"},
        {"Media/a|b.bin", NameRules::Posix, std::nullopt},
        {so + ".bin", NameRules::Windows,
         so + ".bin (Windows cannot hold \"\\\" in a file name; it is the second byte of a "
              "Shift-JIS character, which the disc's windows-1252 names read as \"\\\")"},
        {so + ".bin", NameRules::Posix, std::nullopt},
        {"a\\b", NameRules::Windows, "a\\b (Windows cannot hold \"\\\" in a file name)"},
        {"d/Aux.txt", NameRules::Windows, "d/Aux.txt (Aux is a device name on Windows)"},
        {"name.", NameRules::Windows,
         "name. (Windows drops a trailing dot or blank from a file name)"},
        {"d/../x", NameRules::Windows, "d/../x"},
        {"bell\a", NameRules::Posix, "bell\xEF\xBF\xBD"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path + (c.rules == NameRules::Posix ? " on POSIX" : " on Windows"));
        const auto refusal = unsafe_name_refusal("game.iso", c.path, c.rules);
        ASSERT_EQ(refusal.has_value(), c.tail.has_value());
        if (refusal) {
            EXPECT_EQ(*refusal, "game.iso has an unsafe file name: " + *c.tail);
        }
    }
}

} // namespace
} // namespace ormolt
