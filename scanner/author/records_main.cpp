// fendrel-records: turns the records folder into the database's generated tables, or checks
// that the committed tables still agree with the records (the build does that).
//
//   fendrel-records RECORDS_FOLDER OUTPUT.cpp [--check]
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

#include "entry/program_entry.h"
#include "lib/database/recorded_database.h"
#include "lib/database/records_tables.h"

int program_main(int argc, char **argv) {
    bool check = false;
    std::vector<std::string> paths; // as given, for messages
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--check")
            check = true;
        else
            paths.emplace_back(argv[i]);
    }
    if (paths.size() != 2) {
        std::fprintf(stderr, "usage: fendrel-records RECORDS_FOLDER OUTPUT.cpp [--check]\n");
        return 2;
    }
    const FenxDatabase &catalogue = Fenxi_CatalogueDatabase();
    const FenxiRecordsRead read = Fenxi_ReadRecordsFolder(path_from_utf8(paths[0]), catalogue);
    for (const std::string &error : read.errors)
        std::fprintf(stderr, "%s\n", error.c_str());
    if (!read.errors.empty())
        return 1;
    const std::string tables = Fenxi_GenerateRecordTables(read.revisions, catalogue);
    if (check) {
        std::ifstream in(path_from_utf8(paths[1]), std::ios::binary);
        std::ostringstream committed;
        committed << in.rdbuf();
        if (!in || committed.str() != tables) {
            std::fprintf(stderr,
                         "%s does not agree with the records in %s: run scripts/records.sh\n",
                         paths[1].c_str(), paths[0].c_str());
            return 1;
        }
        return 0;
    }
    std::ofstream out(path_from_utf8(paths[1]), std::ios::binary | std::ios::trunc);
    out << tables;
    out.close();
    if (!out) {
        std::fprintf(stderr, "%s cannot be written\n", paths[1].c_str());
        return 1;
    }
    std::printf("%zu revisions written to %s\n", read.revisions.size(), paths[1].c_str());
    return 0;
}
