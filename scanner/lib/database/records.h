#pragma once
// Signature records as text: the form in which the database's signatures are written, reviewed
// and committed (lib/database/records/*.records), read back against the catalogue.
//
//   # a comment, anywhere on a line
//   group dsound                        the catalogue group of the revisions that follow
//   revision CDirectSoundStream_SetVolume 3911
//   detect 1                            DetectSelect (0 when left out)
//   ref 13 CDirectSoundVoice_SetVolume  a reference pair: offset and canonical symbol name
//   ref 20 kernel 187                   ... or a kernel export ordinal
//   lovp 4 8B 44 24 08                  Lovp pairs: the first offset, then consecutive bytes
//
// Offsets are decimal, bytes two hexadecimal digits. Reference pairs come first in the record,
// in the order written; Lovp offsets must strictly increase.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "lib/oovpa.h"

// Record limits: the packed header counts in single bytes, and the engine never follows more
// than this many references from one record.
inline constexpr std::size_t kFenxiMaxRecordPairs = 255;
inline constexpr std::size_t kFenxiMaxRecordReferences = 4;
inline constexpr std::uint32_t kFenxiKernelOrdinalLast = 378;

struct FenxiRecordedRevision {
    std::uint32_t group = 0; // position in the catalogue's group list
    std::uint32_t entry = 0; // position in that group's entries
    std::uint16_t build = 0;
    std::uint8_t detect_select = 0;
    std::uint8_t xref_count = 0;
    std::vector<OOVPAPair> pairs; // reference pairs first
    std::string comment;          // written above the revision; not read back
    std::string source;           // "file:line" of its revision line, for messages
};

// The key of each group of the built-in layout, as records files name it; nullptr past the end.
const char *Fenxi_RecordGroupKey(std::uint32_t group);

// A file full of mistakes is reported by its first ones; the rest are only counted, so that a
// hostile file cannot make the reader hold a message per line.
inline constexpr std::size_t kFenxiMaxRecordErrors = 50;

struct FenxiRecordsRead {
    std::vector<FenxiRecordedRevision> revisions;
    std::vector<std::string> errors; // "file:line: text", in file order
    std::size_t errors_not_kept = 0; // beyond kFenxiMaxRecordErrors
};

// Reads one records file's text. Every problem is reported; revisions with a problem are left
// out.
FenxiRecordsRead Fenxi_ReadRecords(std::string_view text, std::string_view file_name,
                                   const FenxDatabase &catalogue);

// Problems between revisions of several files: the same entry and build twice, or records for an
// entry whose catalogue row carries its own (placeholder) revisions.
std::vector<std::string> Fenxi_CheckRecordSet(const std::vector<FenxiRecordedRevision> &revisions,
                                              const FenxDatabase &catalogue);

// The text form of `revisions`, grouped in the order given.
std::string Fenxi_WriteRecords(const std::vector<FenxiRecordedRevision> &revisions,
                               const FenxDatabase &catalogue, std::string_view heading);

// Orders revisions by group, entry and build: the order the database stores them in.
void Fenxi_SortRecords(std::vector<FenxiRecordedRevision> &revisions);
