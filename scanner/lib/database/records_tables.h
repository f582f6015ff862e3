#pragma once
// The C++ tables that the build compiles from the records files (records/generated.cpp), and
// reading a whole records folder.
#include <filesystem>
#include <string>
#include <vector>

#include "lib/database/records.h"

// The text of records/generated.cpp for `revisions`, which must be sorted.
std::string Fenxi_GenerateRecordTables(const std::vector<FenxiRecordedRevision> &revisions,
                                       const FenxDatabase &catalogue);

// Every *.records file of `folder`, in file name order, read and checked as one set; the
// revisions come back sorted.
FenxiRecordsRead Fenxi_ReadRecordsFolder(const std::filesystem::path &folder,
                                         const FenxDatabase &catalogue);
