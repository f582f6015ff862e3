// Generated from records/*.records by fendrel-records (scripts/records.sh): edit the
// records, not this file. Rows: group, entry, name, build, DetectSelect, XRefCount, pair
// count, first pair.
// clang-format off
#include <cstddef>
#include <iterator>

#include "lib/database/recorded_database.h"

namespace {

constexpr OOVPAPair kPairs[] = {
    // D3DDevice_SetRenderState_Simple 3911
    {0, 0xA1}, {5, 0x83}, {6, 0xC0}, {7, 0x08}, {21, 0x89}, {22, 0x48}, {23, 0xF8}, {24, 0x89},
    {25, 0x50}, {26, 0xFC}, {28, 0x52}, {29, 0x51},
    // D3DDevice_SetRenderStateNotInline 3911
    {25, 598}, {32, 382}, {0, 0x56}, {8, 0x7D}, {10, 0x8B}, {11, 0x0C}, {12, 0xB5}, {24, 0xE8},
    // CDirectSoundStream_SetVolume 3911
    {13, 793}, {4, 0x8B}, {5, 0x44}, {6, 0x24}, {7, 0x08}, {8, 0x83}, {9, 0xC0}, {10, 0x04},
    {17, 0xC2}, {18, 0x08},
    // IDirectSoundStream_SetVolume 3911
    {13, 793}, {4, 0x8B}, {5, 0x44}, {6, 0x24}, {7, 0x08}, {8, 0x83}, {9, 0xC0}, {10, 0x04},
    {17, 0xC2}, {18, 0x08},
    // IDirectSoundStream_SetVolume 4039
    {1, 763}, {0, 0xE9},
    // XapiMapLetterToDirectory 3911
    {579, 1139}, {0, 0x55}, {1, 0x8B}, {2, 0xEC}, {3, 0x81}, {4, 0xEC}, {5, 0x84}, {6, 0x02},
    {7, 0x00}, {20, 0x6A}, {21, 0x03}, {22, 0x6A}, {23, 0x03}, {24, 0xBF}, {25, 0x80}, {26, 0x00},
    {578, 0xE8},
};

constexpr FenxiRecordedRow kRows[] = {
    {0, 136, "D3DDevice_SetRenderState_Simple", 3911, 0, 0, 12, 0},
    {0, 137, "D3DDevice_SetRenderStateNotInline", 3911, 0, 2, 8, 12},
    {3, 161, "CDirectSoundStream_SetVolume", 3911, 1, 1, 10, 20},
    {3, 268, "IDirectSoundStream_SetVolume", 3911, 2, 1, 10, 30},
    {3, 268, "IDirectSoundStream_SetVolume", 4039, 0, 1, 2, 40},
    {6, 22, "XapiMapLetterToDirectory", 3911, 0, 1, 17, 42},
};

} // namespace

const FenxiRecordedRow *const Fenxi_RecordedRows = kRows;
const std::size_t Fenxi_RecordedRowCount = std::size(kRows);
const OOVPAPair *const Fenxi_RecordedPairs = kPairs;
