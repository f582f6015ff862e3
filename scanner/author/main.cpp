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
#include "author/options.h"
#include "author/usage.h"
#include "entry/program_entry.h"
#include "lib/database/recorded_database.h"
#include "lib/database/records.h"
#include "lib/fendrel.h"

namespace {

constexpr const char *kUsage =
    "usage: fendrel-author --library NAME --build N [--names aliases.txt] [--out file.records] "
    "[--pairs N]\n"
    "                     [--against game.xbe|image|obj|lib]... <lib or obj>...\n"
    "       fendrel-author --library NAME --build N (--map FILE | --symbols FILE) [options]\n"
    "                     <program.exe|game.xbe> [kernel import library]\n";

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

} // namespace

int program_main(int argc, char **argv) {
    if (argc < 2)
        return usage(nullptr);
    if (std::string_view(argv[1]) == "coverage")
        return run_coverage_command(argc - 2, argv + 2);
    auto parsed =
        fendrel_author::parse_author_command(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed)
        return usage(parsed.error().c_str());
    if (parsed->help)
        return help();
    fendrel_author::AuthorCommand &command = *parsed;
    fendrel_author::AuthorOptions &options = command.options;
    const std::string &names_file = command.names_file;
    const std::string &out = command.out;
    const std::string &library = command.library;
    const std::string &build_text = command.build_text;
    const std::vector<std::string> &inputs = command.inputs;
    const std::vector<std::string> &against = command.against;

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
    std::vector<std::filesystem::path> files;
    for (const std::string &file : inputs)
        files.push_back(path_from_utf8(file));
    const std::filesystem::path program_names = command.program_names.empty()
                                                    ? std::filesystem::path{}
                                                    : path_from_utf8(command.program_names);
    if (auto loaded =
            fendrel_author::load_inputs(files, program_names, command.program_names_kind, input);
        !loaded) {
        std::fprintf(stderr, "fendrel-author: %s\n", loaded.error().c_str());
        return 1;
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
    if (!command.program_names.empty())
        heading += "\nnamed by " + command.program_names;
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

    const std::string report = fendrel_author::author_report(*result, input);
    std::fwrite(report.data(), 1, report.size(), stdout);
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
