#pragma once
// Loading what the authoring tool reads: objects and archives of the library, and the other code
// records are checked against (`--against`: XBEs, PE images, objects). Members that hold no
// machine code are skipped with their reason; link-time code is named so the run can say so.
#include <cstdint>
#include <expected>
#include <filesystem>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "author/coff.h"
#include "author/images.h"
#include "author/program.h"

namespace fendrel_author {

struct AuthorInput {
    std::vector<CoffObject> objects;
    std::vector<LinkedProgram> programs; // a linked image with the names of its functions
    // The kernel's import library: the ordinal of each import symbol ("__imp__NtSetEvent@8"),
    // and how many each file taught.
    std::map<std::string, std::uint32_t> kernel_imports;
    std::vector<std::pair<std::string, std::size_t>> kernel_import_files;
    std::vector<std::string> skipped; // "origin: reason", for every member left unread
    std::size_t link_time_code = 0;   // members among `skipped` that hold link-time code
};

inline constexpr std::string_view kLinkTimeCodeReason =
    "holds link-time code, no machine code: rebuild the library without whole-program "
    "optimisation";

// Adds an object file or every object of an archive.
std::expected<void, std::string> load_input(const std::filesystem::path &file, AuthorInput &input);
// The same for bytes already read; `name` names them in messages.
std::expected<void, std::string> load_input_bytes(std::span<const std::uint8_t> bytes,
                                                  const std::string &name, AuthorInput &input);

// Where the names of a linked program come from.
enum class NamesKind { Map, SymbolList };

// Reads every input file. With `program_names` (a map or a symbol list) exactly one of them is a
// linked image, the program those names belong to; the others (the kernel's import library) are
// read as objects and archives.
std::expected<void, std::string> load_inputs(const std::vector<std::filesystem::path> &files,
                                             const std::filesystem::path &program_names,
                                             NamesKind kind, AuthorInput &input);
// The same for bytes already read.
std::expected<void, std::string> load_program_bytes(std::span<const std::uint8_t> image,
                                                    const std::string &image_name,
                                                    std::string_view names,
                                                    const std::string &names_name, NamesKind kind,
                                                    AuthorInput &input);

// Code that is not the library: objects with their relocations, or linked images.
struct OtherCode {
    std::vector<CoffObject> objects;
    struct Image {
        std::string origin;
        LinkedImageFile image;
    };
    std::vector<Image> images;
};

// Adds an XBE, a PE image, an object or an archive.
std::expected<void, std::string> load_other_code(const std::filesystem::path &file,
                                                 OtherCode &other);

} // namespace fendrel_author
