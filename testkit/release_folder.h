#pragma once
// Builds release folders for tests and the demo: release.json from fields or from raw text, and
// programs placed under bin/.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace testkit {

struct ReleaseImage {
    std::string sha1;
    std::optional<std::string> name;
    std::optional<std::string> config;
};

// The fields of release.json. Optional members are written only when set.
struct ReleaseDescription {
    std::string title_id = "51520001";
    std::string title_name = "Sample Game";
    std::string version = "1.0";
    std::string exe = "sample";
    std::vector<ReleaseImage> images;
    std::vector<std::string> xbe_sha1{"0123456789abcdef0123456789abcdef01234567"};
    std::optional<std::string> launcher;
    std::optional<std::string> xbe;
    std::optional<std::vector<std::string>> lift;

    std::string to_json() const;
};

// A JSON string literal for the text.
std::string json_quote(std::string_view text);

// Creates the folder when needed and writes release.json into it.
std::error_code write_release(const std::filesystem::path &release_dir,
                              const ReleaseDescription &description);
std::error_code write_release_text(const std::filesystem::path &release_dir, std::string_view text);

// Copies a program to <release>/bin/<name> (default: the program's own file name) and keeps it
// executable.
std::error_code place_program(const std::filesystem::path &release_dir,
                              const std::filesystem::path &program,
                              std::optional<std::string> name = std::nullopt);

} // namespace testkit
