#pragma once
// Everything that differs between Windows and POSIX. One header, one implementation per
// platform (posix.cpp, windows.cpp); no other file includes <windows.h> or <unistd.h>.
#include <array>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

namespace ormolt::platform {

// ---- Names ------------------------------------------------------------------------------

// Suffix of the programs the tool runs and of the compile output: ".exe" on Windows, none
// elsewhere. The installed program is always <exe>.exe (see install/).
#ifdef _WIN32
inline constexpr const char *executable_suffix = ".exe";
#else
inline constexpr const char *executable_suffix = "";
#endif

// Whether the file system takes names that differ only in letter case as one file (Windows), so
// that a disc's "DEFAULT.XBE" is the game's "default.xbe" once extracted.
#ifdef _WIN32
inline constexpr bool names_ignore_letter_case = true;
#else
inline constexpr bool names_ignore_letter_case = false;
#endif

// ---- Process environment ----------------------------------------------------------------

// Full path of the running program file, when the platform can tell.
std::optional<std::filesystem::path> running_program_path();

// The value of an environment variable as a path; nullopt when it is not set (an empty value
// is set).
std::optional<std::filesystem::path> environment_path(const char *name);

// Per-user base folder for default builds: %LOCALAPPDATA% on Windows (set and not empty); on
// other systems LOCALAPPDATA when set and not empty, else $XDG_DATA_HOME, else
// $HOME/.local/share. nullopt when none is available.
std::optional<std::filesystem::path> per_user_base();

// Makes standard output carry bytes unchanged (no CR-LF translation on Windows) and makes writing
// to a closed standard output an ignorable error rather than the end of the process (POSIX).
void prepare_standard_streams();

// ---- The terminal (terminal view) -------------------------------------------------------

// Whether standard output is a person's terminal: a terminal device on POSIX, a console on
// Windows (GetConsoleMode succeeds on its handle). Pipes and files are not.
bool standard_output_is_terminal();

// Standard output's terminal, readied for the view for the life of the object. On Windows the
// console's virtual-terminal processing is turned on where the console supports it and its
// earlier mode restored afterwards; text reaches the console through its wide-character API,
// so UTF-8 shows whatever the console's code page.
class Terminal {
  public:
    Terminal();
    ~Terminal();
    Terminal(const Terminal &) = delete;
    Terminal &operator=(const Terminal &) = delete;

    // Whether the terminal acts on control sequences (carriage return rewrites, erase to the
    // end of the line). POSIX: TERM is set; Windows: virtual-terminal processing is on.
    bool control_sequences() const { return control_sequences_; }
    // Gives the terminal its earlier mode back now (the destructor does it otherwise).
    void restore();
    // Columns of the terminal now (it may be resized); 0 when it cannot tell.
    std::size_t width() const;
    // Writes UTF-8 text and flushes it. Errors are ignored.
    void write(std::string_view text);

  private:
    bool control_sequences_ = false;
    std::uint32_t saved_mode_ = 0; // the console mode to restore (Windows)
    bool restore_mode_ = false;
};

// ---- Files (records, lock) --------------------------------------------------------------

// The error of a read that found something other than a regular file (a FIFO, a device).
inline std::error_code not_a_regular_file() {
    struct Category : std::error_category {
        const char *name() const noexcept override { return "file kind"; }
        std::string message(int) const override { return "not a regular file"; }
    };
    static const Category category;
    return {1, category};
}

// Records, markers and the lock are small: no reader of them takes in more than this.
inline constexpr std::size_t small_file_limit = std::size_t(1) << 20;

// Reads a whole regular file of at most limit bytes. Anything else at the path fails without
// waiting or reading: a folder with is_a_directory, a FIFO or device with not_a_regular_file, a
// longer file with file_too_large. Other programs may write, rename or delete the file meanwhile.
std::expected<std::string, std::error_code> read_regular_file(const std::filesystem::path &file,
                                                              std::size_t limit);

// Copies a file over another, replacing an existing target (the standard library's
// overwrite_existing copy refuses an existing target on some Windows runtimes). The copy never
// keeps a read-only mark, and a read-only target is replaced all the same: the target always
// lies in a folder the tool owns.
std::error_code copy_file_replacing(const std::filesystem::path &from,
                                    const std::filesystem::path &to);

// Moves a file over another, replacing an existing target in one step.
std::error_code replace_file(const std::filesystem::path &from, const std::filesystem::path &to);

// ---- Folder work (extraction, saves, installation, clean-up) -----------------------------
// Used only inside the folders the tool owns (the installation folder and what it holds). On
// Windows these clear the read-only attribute where they must remove or replace (files copied
// from a disc carry it), wait out for a moment a file that an indexer or a virus scanner holds,
// keep the system's own error, and reach paths longer than the classic 260 characters.

// Removes a file, or a link itself (never what it points at).
std::error_code remove_file(const std::filesystem::path &path);

// Removes an empty folder, or a directory link itself (also one whose target has gone).
std::error_code remove_empty_folder(const std::filesystem::path &path);

// Renames a file or a folder to a name where nothing exists.
std::error_code rename_path(const std::filesystem::path &from, const std::filesystem::path &to);

// Creates a folder and its missing parents; an existing folder is fine.
std::error_code create_folders(const std::filesystem::path &path);

struct FolderEntry {
    std::filesystem::path name;
    bool directory = false; // a real folder, or a directory link (then link is set too)
    bool link = false;      // a symbolic link or junction (a name-surrogate reparse point)
};

// The entries of a folder in the order the system returns them, without "." and "..".
std::expected<std::vector<FolderEntry>, std::error_code>
list_folder(const std::filesystem::path &folder);

enum class EntryKind {
    None,   // nothing there: the system said there is no such file or folder
    File,   // a regular file
    Folder, // a real folder
    Link,   // a symbolic link or junction (on Windows a name-surrogate reparse point)
    Other,  // a FIFO, a device, a socket
};
enum class Links { Followed, NotFollowed };

// What is at a path, the link itself or what it leads to (a link whose target has gone is None
// when followed). Only "no such file or folder" reads as None: any other failure, such as access
// denied or a path too long for the system, is the system's error. Reaches long paths on Windows.
std::expected<EntryKind, std::error_code> entry_kind(const std::filesystem::path &path,
                                                     Links links);

// The canonical (fully resolved) path of something that exists, made plain: on Windows letter
// case, short names, junctions and substituted drives are resolved by the file system itself.
std::expected<std::filesystem::path, std::error_code>
canonical_path(const std::filesystem::path &path);

// Whether two path components name the same entry: without regard to letter case on Windows,
// byte for byte elsewhere.
bool same_component(const std::filesystem::path &a, const std::filesystem::path &b);

// The operating system's own description of an error, as UTF-8 (on Windows in the user's
// language, whatever the ANSI code page).
std::string error_description(const std::error_code &error);

// ---- Processes: liveness (build lock) ---------------------------------------------------

std::uint32_t current_process_id();

enum class Liveness { Running, NotRunning, Denied };

// Whether the process with this id is running. Denied: it exists but we may not ask, which the
// lock treats as alive.
Liveness process_liveness(std::uint32_t pid);

// ---- Child processes (tool runner) ------------------------------------------------------

// An operating-system handle kept as an integer: a file descriptor on POSIX, a HANDLE on
// Windows. The owner closes it with close_handle.
using NativeHandle = std::intptr_t;
inline constexpr NativeHandle no_handle = -1;

void close_handle(NativeHandle handle);

// Opens a file for appending, creating it when missing; other programs may read, write or
// delete it meanwhile.
std::expected<NativeHandle, std::error_code> open_for_append(const std::filesystem::path &file);

// Creates a file or truncates an existing one, for writing.
std::expected<NativeHandle, std::error_code> open_for_writing(const std::filesystem::path &file);

// Writes all bytes; errors are the caller's to ignore or report.
std::error_code write_all(NativeHandle handle, std::string_view bytes);

// Reads up to size bytes; 0 at the end of the stream. Interrupted reads are retried; a pipe
// whose writer has gone reads as the end.
std::expected<std::size_t, std::error_code> read_some(NativeHandle handle, char *buffer,
                                                      std::size_t size);

struct ChildCommand {
    std::filesystem::path program;
    std::vector<std::string> arguments; // UTF-8; each reaches the child as one argument
    std::optional<std::filesystem::path> working_folder;
    std::vector<std::pair<std::string, std::string>> environment; // added to or replacing ours
};

struct StartedChild {
    NativeHandle process = no_handle; // the pid on POSIX
    NativeHandle output = no_handle;  // read end of the child's standard output
    NativeHandle errors = no_handle;  // read end of the child's standard error
};

// Starts a child with the null device as standard input, two pipes for its output streams and
// no console window of its own.
std::expected<StartedChild, std::error_code> start_child(const ChildCommand &command);

// Waits for the child to end and releases it. The exit code as the system gives it; on POSIX
// a child ended by a signal reads as 128 + the signal number, as shells show it.
std::expected<std::uint32_t, std::error_code> wait_for_child(NativeHandle process);

// ---- Being stopped (Ctrl-C, a closed terminal, a launcher's Cancel) ---------------------

// What a stop does, in this order: last_words (on a thread of its own) says what the run ends
// with and returns the exit status; the running child is ended with everything it started;
// once_children_ended runs (what they might still have used can be let go then); the process
// ends at once with that status.
struct StopActions {
    std::function<int()> last_words;
    std::function<void()> once_children_ended;
};

// While it lives, a request to stop the tool (SIGINT, SIGTERM or SIGHUP on POSIX; Ctrl-C,
// Ctrl-Break or closing the console on Windows) carries out its actions. Once it is destroyed
// (the run has returned and what the actions use may be gone), a stop is left to end the
// process as it is ending anyway; a stop already under way finishes first.
// Children run so that they cannot outlive the tool however it ends: on POSIX in a process group
// of their own that the signal handling ends; on Windows in a job that the system closes with
// the tool, which also covers a launcher's TerminateProcess. Make one, before any other thread
// starts.
class StopHandling {
  public:
    explicit StopHandling(StopActions actions);
    ~StopHandling();
    StopHandling(const StopHandling &) = delete;
    StopHandling &operator=(const StopHandling &) = delete;
};

// ---- Lock files (build lock) -------------------------------------------------------------

enum class NewLock { Created, AlreadyExists, Failed };

// Creates a lock file that must not exist yet (an exclusive create), writes the contents into it
// and keeps it open in held: while held stays open no other process can clear the file as stale.
// A failure to write after the create is not reported. On Failed, error holds the reason.
NewLock create_lock_file(const std::filesystem::path &file, std::string_view contents,
                         NativeHandle &held, std::error_code &error);

// Removes a lock file made by create_lock_file and closes held; failures are ignored.
void release_lock_file(const std::filesystem::path &file, NativeHandle held);

enum class ExistingLock {
    Held,    // a living holder keeps it, another process is clearing it, or is_stale said no
    Cleared, // it was stale and has been removed (or could not be, which the next create shows)
    Gone,    // nothing there any more, or another file took its place: try creating again
};

// Whether a living process still holds the file the way a lock holder holds its lock file (the
// advisory lock on POSIX, an open handle that shares no delete on Windows): a writer's
// temporary that nobody holds is left over, whoever now has its writer's process id.
bool held_by_its_writer(const std::filesystem::path &file);

// Decides about an existing lock file: is_stale is given its contents (nullopt when they cannot
// be read) and, when it says stale, exactly the file that was read is removed, never one that
// another process created in its place meanwhile.
ExistingLock
clear_stale_lock(const std::filesystem::path &file,
                 const std::function<bool(const std::optional<std::string> &contents)> &is_stale);

// ---- Links and paths (translation, installation) ----------------------------------------

// Whether the path itself (not followed) is a symbolic link or a junction (on Windows any
// reparse point whose tag is a name surrogate). False when it cannot be read.
bool is_link(const std::filesystem::path &path);

// Removes a link itself, never what it points at.
std::error_code remove_link(const std::filesystem::path &path);

// Makes link a directory link to target: a junction (mount-point reparse point) on Windows,
// a symbolic link elsewhere. On failure nothing is left at link that this call made.
std::error_code make_directory_link(const std::filesystem::path &link,
                                    const std::filesystem::path &target);

// The target of a directory link as the system stores it; nullopt when link is none.
std::optional<std::filesystem::path> read_directory_link(const std::filesystem::path &link);

// ---- Reading files and hashing (disc images, identity check, installation) ---------------

// Opens an existing file for reading only (read_some or read_at read it; close_handle closes
// it). Other programs may read, write or delete it meanwhile.
std::expected<NativeHandle, std::error_code> open_for_reading(const std::filesystem::path &file);

// Reads up to size bytes starting at the 64-bit offset. Fewer bytes than asked only at the end
// of the file (0 at or past it). Interrupted reads are retried. The handle's own file position
// is left as it was on POSIX, but on Windows (a synchronous handle) it moves to the end of what
// was read: do not mix read_at with read_some on one handle.
std::expected<std::size_t, std::error_code> read_at(NativeHandle handle, std::uint64_t offset,
                                                    char *buffer, std::size_t size);

// The length of a file opened by open_for_reading, in bytes. (open_for_reading, read_at and
// file_size live in one file per platform, so that a program can put an image in memory behind
// all three at once.)
std::expected<std::uint64_t, std::error_code> file_size(NativeHandle file);

// A file opened by open_for_reading and closed on every way out; what readers outside this seam
// hold, so that they reach every path the system can open (on Windows also long ones).
class ReadOnlyFile {
  public:
    static std::expected<ReadOnlyFile, std::error_code> open(const std::filesystem::path &file) {
        auto handle = open_for_reading(file);
        if (!handle)
            return std::unexpected(handle.error());
        return ReadOnlyFile(*handle);
    }
    ReadOnlyFile(ReadOnlyFile &&other) noexcept
        : handle_(std::exchange(other.handle_, no_handle)) {}
    ReadOnlyFile &operator=(ReadOnlyFile &&) = delete;
    ~ReadOnlyFile() {
        if (handle_ != no_handle)
            close_handle(handle_);
    }

    std::expected<std::uint64_t, std::error_code> size() const { return file_size(handle_); }
    std::expected<std::size_t, std::error_code> read(std::uint64_t offset, char *buffer,
                                                     std::size_t length) const {
        return read_at(handle_, offset, buffer, length);
    }

  private:
    explicit ReadOnlyFile(NativeHandle handle) : handle_(handle) {}
    NativeHandle handle_;
};

// SHA-1 from the platform's own vetted implementation: libcrypto on POSIX, CNG on Windows.
class Sha1 {
  public:
    static constexpr std::size_t digest_size = 20;
    using Digest = std::array<std::uint8_t, digest_size>;

    Sha1();
    ~Sha1();
    Sha1(const Sha1 &) = delete;
    Sha1 &operator=(const Sha1 &) = delete;

    // Feeds more bytes. Once the implementation has failed (it can only run out of resources)
    // every later call does nothing and finish gives nullopt.
    void update(const void *bytes, std::size_t size);
    // The digest of everything fed so far; the object is spent afterwards.
    std::optional<Digest> finish();

  private:
    struct State;
    std::unique_ptr<State> state_;
};

// ---- Files: copying inside the system, preallocation (extraction) ---------------------------

// Copies up to size bytes from the 64-bit offset of one file to the current position of another
// (which moves on), inside the system, without passing them through this process. Returns how
// many it copied: fewer than size when the source ends, or when an error stops it after some
// bytes. An error when nothing could be copied: operation_not_supported where the system has no
// such call (Windows), else the system's refusal (e.g. files on different file systems).
std::expected<std::uint64_t, std::error_code>
copy_file_data(NativeHandle from, std::uint64_t offset, NativeHandle to, std::uint64_t size);

// Reserves room for the first size bytes of a file about to be written, without changing its
// length, so that a large file is laid out in one piece. An error where the file system cannot;
// callers ignore it.
std::error_code preallocate(NativeHandle file, std::uint64_t size);

} // namespace ormolt::platform
