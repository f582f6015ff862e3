#pragma once
// Text that the system hands to the program or takes from it: the program works in UTF-8, and
// on Windows the arguments arrive, and file names go out, as UTF-16, so that a path outside the
// ANSI code page (a user name such as "Zoë 李") reaches the file system unchanged.
#include <cstdio>
#include <string>
#include <vector>

// Opens a file named by UTF-8 text for reading, in binary.
std::FILE *open_for_reading_utf8(const char *path);

// Arguments as UTF-8, in a form that argv-style code takes; the strings live as long as this.
class Utf8Arguments {
  public:
    explicit Utf8Arguments(std::vector<std::string> arguments);
    int count() const { return static_cast<int>(pointers_.size()) - 1; }
    char **values() { return pointers_.data(); }

  private:
    std::vector<std::string> arguments_;
    std::vector<char *> pointers_; // ends with a null pointer, as argv does
};

#ifdef _WIN32
// The system's UTF-16 text as UTF-8 (unpaired surrogates become U+FFFD).
std::string utf8_from_utf16(const wchar_t *text);
#endif
