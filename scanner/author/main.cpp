// fendrel-author: signature records from a release maker's own XDK libraries.
//
//   fendrel-author --library D3D8 --build 5849 [--names aliases.txt] [--out file.records]
//                  [--pairs N] [--against FILE]... <lib or obj>...
//   fendrel-author coverage [--json] <game.xbe> [pack.records...]
#include <cctype>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "author/author.h"
#include "author/coverage_command.h"
#include "author/usage.h"
#include "entry/program_entry.h"
#include "lib/database/recorded_database.h"
#include "lib/database/records.h"
#include "lib/fendrel.h"

namespace {

constexpr const char *kUsage =
    "usage: fendrel-author --library NAME --build N [--names aliases.txt] [--out file.records] "
    "[--pairs N]\n"
    "                     [--against game.xbe|image|obj|lib]... <lib or obj>...\n";

int usage(const char *problem) {
    if (problem != nullptr)
        std::fprintf(stderr, "fendrel-author: %s\n", problem);
    std::fputs(kUsage, stderr);
    std::fputs(author_usage_details().c_str(), stderr);
    return 2;
}

int help() {
    std::fputs(kUsage, stdout);
    std::fputs(author_usage_details().c_str(), stdout);
    return 0;
}

bool parse_count(std::string_view text, std::uint32_t limit, std::uint32_t &value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && error == std::errc{} && end == text.data() + text.size() &&
           value <= limit;
}

void list(const char *title, const std::vector<std::string> &items) {
    std::printf("%s: %zu\n", title, items.size());
    for (const std::string &item : items)
        std::printf("  %s\n", item.c_str());
}

} // namespace

int program_main(int argc, char **argv) {
    if (argc < 2)
        return usage(nullptr);
    if (std::string_view(argv[1]) == "coverage")
        return run_coverage_command(argc - 2, argv + 2);
    std::string library;
    std::string build_text;
    std::string names_file;
    std::string out;
    std::string pairs_text;
    std::vector<std::string> inputs;
    std::vector<std::string> against;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        std::string *value = nullptr;
        if (argument == "--library")
            value = &library;
        else if (argument == "--build")
            value = &build_text;
        else if (argument == "--names")
            value = &names_file;
        else if (argument == "--out")
            value = &out;
        else if (argument == "--pairs")
            value = &pairs_text;
        else if (argument == "--against")
            value = &against.emplace_back();
        else if (asks_for_help(argv[i]))
            return help();
        else if (argument.starts_with("--"))
            return usage("unknown option");
        else {
            inputs.emplace_back(argument);
            continue;
        }
        if (i + 1 >= argc)
            return usage("an option lacks its value");
        *value = argv[++i];
    }
    fendrel_author::AuthorOptions options;
    if (library.empty())
        return usage("no --library given: name the library the input was built as");
    options.library_flag = Fenx_LibraryFlag(library.c_str());
    if (options.library_flag == 0 || library.size() > 8)
        return usage("--library names no library the database knows");
    std::uint32_t build = 0;
    if (!parse_count(build_text, 0xFFFF, build))
        return usage("--build is a library build from 0 to 65535");
    options.build = static_cast<std::uint16_t>(build);
    if (!pairs_text.empty()) {
        std::uint32_t pairs = 0;
        if (!parse_count(pairs_text, kFenxiMaxRecordPairs - kFenxiMaxRecordReferences, pairs) ||
            pairs == 0)
            return usage("--pairs is a count from 1 to 251");
        options.pairs = pairs;
    }
    if (inputs.empty())
        return usage("no library or object to read");
    if (out.empty()) {
        for (char c : library)
            out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        out += "-" + build_text + ".records";
    }

    if (!names_file.empty()) {
        std::ifstream in(path_from_utf8(names_file), std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        if (!in) {
            std::fprintf(stderr, "fendrel-author: %s: cannot be read\n", names_file.c_str());
            return 1;
        }
        auto aliases = fendrel_author::read_aliases(text.str(), names_file);
        if (!aliases) {
            std::fprintf(stderr, "fendrel-author: %s\n", aliases.error().c_str());
            return 1;
        }
        options.aliases = std::move(*aliases);
    }

    fendrel_author::AuthorInput input;
    for (const std::string &file : inputs) {
        if (auto loaded = fendrel_author::load_input(path_from_utf8(file), input); !loaded) {
            std::fprintf(stderr, "fendrel-author: %s\n", loaded.error().c_str());
            return 1;
        }
    }
    fendrel_author::OtherCode other;
    for (const std::string &file : against) {
        if (auto loaded = fendrel_author::load_other_code(path_from_utf8(file), other); !loaded) {
            std::fprintf(stderr, "fendrel-author: %s\n", loaded.error().c_str());
            return 1;
        }
    }
    const FenxDatabase &catalogue = Fenxi_CatalogueDatabase();
    auto result =
        fendrel_author::author_records(input, options, catalogue, Fenxi_BuiltinRecords(), other);
    if (!result) {
        std::fprintf(stderr, "fendrel-author: %s\n", result.error().c_str());
        return 1;
    }

    std::string heading =
        "Authored by fendrel-author for " + library + " build " + build_text + " from:";
    for (const std::string &file : inputs)
        heading += "\n  " + file;
    for (const std::string &file : against)
        heading += "\nchecked against " + file;
    heading += "\nReview before committing: scripts/records.sh turns the records into tables.";
    const std::string text = Fenxi_WriteRecords(result->revisions, catalogue, heading);
    std::ofstream file(path_from_utf8(out), std::ios::binary | std::ios::trunc);
    file << text;
    file.close();
    if (!file) {
        std::fprintf(stderr, "fendrel-author: %s: cannot be written\n", out.c_str());
        return 1;
    }

    std::printf("functions found: %zu\n", result->found);
    std::printf("mapped: %zu\n", result->mapped);
    list("authored", result->authored);
    list("ambiguous, left out", result->ambiguous);
    list("too small to be told apart, left out", result->too_small);
    list("placeholder entries, found by derivations, no records", result->placeholders);
    list("checked against other code", result->against);
    list("unmapped", result->unmapped);
    list("in other libraries' groups", result->other_library);
    list("skipped members", input.skipped);
    std::printf("fields left unknown for an addend: %zu\n", result->addend_fields);
    list("notes", result->notes);
    list("self-check conflicts", result->conflicts);
    std::printf("%zu revisions written to %s\n", result->revisions.size(), out.c_str());
    if (input.link_time_code != 0) {
        // The records are good, but functions of those members are missing from them.
        std::printf("%zu members hold link-time code and were skipped: the records are "
                    "incomplete\n",
                    input.link_time_code);
        return 3;
    }
    return 0;
}
