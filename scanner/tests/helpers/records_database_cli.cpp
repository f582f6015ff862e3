// FendrelCLI scanning with the built-in database and the records of one more file, as a release
// maker's build would after committing them: the authoring tool's end-to-end tests run it.
//
//   fendrel_records_cli --records FILE <FendrelCLI's arguments>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "cli/cli_run.h"
#include "lib/database/recorded_database.h"
#include "lib/database/records.h"

int main(int argc, char **argv) {
    if (argc < 3 || std::strcmp(argv[1], "--records") != 0) {
        std::fprintf(stderr, "usage: %s --records FILE xbefile [options]\n", argv[0]);
        return 2;
    }
    std::ifstream in(argv[2], std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    const FenxDatabase &catalogue = Fenxi_CatalogueDatabase();
    FenxiRecordsRead read = Fenxi_ReadRecords(text.str(), argv[2], catalogue);
    std::vector<FenxiRecordedRevision> revisions = Fenxi_BuiltinRecords();
    revisions.insert(revisions.end(), read.revisions.begin(), read.revisions.end());
    for (const std::string &error : Fenxi_CheckRecordSet(revisions, catalogue))
        read.errors.push_back(error);
    if (!in || !read.errors.empty()) {
        for (const std::string &error : read.errors)
            std::fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }
    const FenxiRecordedDatabase database(catalogue, std::move(revisions));
    argv[2] = argv[0];
    return run_fendrel_cli(argc - 2, argv + 2, database.database());
}
