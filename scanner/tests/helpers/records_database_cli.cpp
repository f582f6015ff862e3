// FendrelCLI scanning with the built-in database and the records of more files, as a release
// maker's build would after committing them: the authoring tool's end-to-end tests run it.
//
//   fendrel_records_cli --records FILE [--records FILE]... <FendrelCLI's arguments>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_run.h"
#include "entry/program_entry.h"
#include "lib/database/recorded_database.h"
#include "lib/database/records.h"

int program_main(int argc, char **argv) {
    int first = 1;
    std::vector<std::string> files;
    while (first + 1 < argc && std::strcmp(argv[first], "--records") == 0) {
        files.emplace_back(argv[first + 1]);
        first += 2;
    }
    if (files.empty() || first >= argc) {
        std::fprintf(stderr, "usage: %s --records FILE [--records FILE]... xbefile [options]\n",
                     argv[0]);
        return 2;
    }
    const FenxDatabase &catalogue = Fenxi_CatalogueDatabase();
    std::vector<FenxiRecordedRevision> revisions = Fenxi_BuiltinRecords();
    std::vector<std::string> errors;
    for (const std::string &file : files) {
        std::ifstream in(path_from_utf8(file), std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        if (!in) {
            errors.push_back(file + ": cannot be read");
            continue;
        }
        FenxiRecordsRead read = Fenxi_ReadRecords(text.str(), file, catalogue);
        errors.insert(errors.end(), read.errors.begin(), read.errors.end());
        revisions.insert(revisions.end(), read.revisions.begin(), read.revisions.end());
    }
    for (const std::string &error : Fenxi_CheckRecordSet(revisions, catalogue))
        errors.push_back(error);
    if (!errors.empty()) {
        for (const std::string &error : errors)
            std::fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }
    const FenxiRecordedDatabase database(catalogue, std::move(revisions));
    argv[first - 1] = argv[0];
    return run_fendrel_cli(argc - first + 1, argv + first - 1, database.database());
}
