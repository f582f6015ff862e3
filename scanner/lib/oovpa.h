#pragma once
// The shape of the signature database: packed signature records (OOVPA), revisions by library
// build, the per-symbol entries (OOVPATable) and the ten library groups. The engine takes a
// FenxDatabase as a value; the built-in one lives in lib/database/.
#include <cstddef>
#include <cstdint>

// Library flags: one bit per XDK library the database knows.
enum : std::uint32_t {
    FENX_LIB_D3D8 = 0x0001,
    FENX_LIB_D3D8LTCG = 0x0002,
    FENX_LIB_D3DX8 = 0x0004,
    FENX_LIB_DSOUND = 0x0008,
    FENX_LIB_JVS = 0x0010,
    FENX_LIB_XACTENG = 0x0020,
    FENX_LIB_XAPILIB = 0x0040,
    FENX_LIB_XGRAPHC = 0x0080,
    FENX_LIB_XNET = 0x0100,
    FENX_LIB_XNETN = 0x0200,
    FENX_LIB_XNETS = 0x0400,
    FENX_LIB_XONLINE = 0x0800,
    FENX_LIB_XONLINEN = 0x1000,
    FENX_LIB_XONLINES = 0x2000,
    FENX_LIB_XONLINLS = 0x4000,
};

// Scan marks of an entry.
enum : std::uint32_t {
    FENX_SCAN_MANUAL = 0x1,    // matched only when a derivation asks for it
    FENX_SCAN_AUTOMATIC = 0x2, // matched by the library scan
};

// Symbol types.
enum : std::uint32_t { FENX_SYMBOL_OTHER = 0, FENX_SYMBOL_VARIABLE = 1, FENX_SYMBOL_FUNCTION = 2 };

// One pair of a signature: a reference pair (Value is a symbol index) or a Lovp pair (the low
// byte of Value is the byte expected at Offset).
struct OOVPAPair {
    std::uint16_t Offset;
    std::uint16_t Value;
};

// A signature record. Packed, it is the byte sequence 0, XRefCount, DetectSelect, Count, then
// Count pairs of little-endian u16 offset and u16 value; the database version hashes that form.
struct OOVPA {
    std::uint8_t XRefCount;    // reference pairs at the front of Pairs
    std::uint8_t DetectSelect; // 0: the first hit; N >= 1: the N-th hit
    std::uint8_t Count;        // pairs, reference pairs included
    const OOVPAPair *Pairs;
};

struct OOVPARevision {
    const OOVPA *Oovpa;
    std::uint16_t Version; // the library build from which this signature applies
};

struct OOVPAParam {
    std::uint32_t Location; // parameter location code, 0 to 22
    const char *Name;
};

struct OOVPATable {
    std::uint16_t SymbolIndex; // xref slot, 380 to 1200
    std::uint32_t ScanMarks;
    std::uint32_t SymbolType;
    const char *Name;
    std::uint32_t CallConvention; // 0 unknown, 1 none, 2 cdecl, 3 stdcall, 4 thiscall, 5 fastcall
    std::uint32_t ParamCount;
    const OOVPAParam *Params;
    std::uint32_t RevisionCount;
    const OOVPARevision *Revisions;
};

// One database group: the libraries it serves, the sections searched, its entries.
struct LibraryDatabase {
    std::uint32_t LibraryFlags;
    std::uint32_t SectionCount; // up to 4
    const char *SectionNames[4];
    std::uint32_t EntryCount;
    const OOVPATable *Entries;
};

struct FenxDatabase {
    std::uint32_t GroupCount;
    const LibraryDatabase *Groups;
};

// The built-in database (lib/database/).
const FenxDatabase &Fenxi_BuiltinDatabase();
