#pragma once
// The symbol scanner library. It reads an XBE image held in memory, lists the XDK libraries the
// image was linked with and the sections worth scanning, and finds library functions and
// variables by the signature database. It never writes to a stream: symbols go to the caller's
// symbol callback, diagnostics to the message callback.
//
// Call order: Fenx_BuildLibraryHeader and Fenx_BuildSectionHeader (each once to count, once to
// fill), FenxContext_Create, FenxContext_ScanManual, FenxContext_ScanAll,
// FenxContext_ReportDerived, FenxContext_Release. Fenx_ScanXbe does all of it in one call.
#include <cstddef>
#include <cstdint>

#include "lib/database/catalogue.h" // Fenx_SymbolName, Fenx_CallConventionName, Fenx_ParamLocationName
#include "lib/oovpa.h"

// Xref slot values with a meaning of their own; any other value is an address.
inline constexpr std::uint32_t XRefNotSet = 0xFFFFFFFFu;
inline constexpr std::uint32_t XRefDerive = 1; // taken from a reference inside another signature

// Slots 0 to 1200: kernel ordinals 1 to 378, library symbols 380 to 1200.
inline constexpr std::uint32_t FENX_XREF_SLOT_COUNT = 1201;

// Every library flag the database knows.
inline constexpr std::uint32_t FENX_LIB_ALL = 0x7FFF;

// Message levels.
enum : std::uint32_t { FENX_MSG_DETAIL = 0, FENX_MSG_WARNING = 2, FENX_MSG_ERROR = 3 };

// Image types.
enum : std::uint32_t { FENX_XBE_RETAIL = 0, FENX_XBE_DEBUG = 1, FENX_XBE_CHIHIRO = 2 };

struct FenxLibraryFilter {
    std::uint16_t BuildVersion;
    std::uint16_t QfeVersion; // low 13 bits of the library version entry's flags
    std::uint32_t Flag;       // one library flag
    char Name[8];             // NUL-terminated when shorter than 8 characters
};

struct FenxLibraryHeader {
    std::uint32_t Count;
    FenxLibraryFilter *Filters;
};

struct FenxSectionFilter {
    char Name[8]; // as stored in the image, NUL-terminated when shorter
    std::uint32_t VirtualAddress;
    std::uint32_t Size;       // the section header's raw size
    const std::uint8_t *Data; // first byte of the section in the caller's buffer
};

struct FenxSectionHeader {
    std::uint32_t Count;
    FenxSectionFilter *Filters;
};

struct FenxContext;

// library name (8 characters, not terminated when all 8 are used), library flag, symbol index,
// symbol name, address, build version of the revision that found it, symbol type, calling
// convention code, parameter count, parameters.
using FenxSymbolCallback = void (*)(const char *library_name, std::uint32_t library_flag,
                                    std::uint32_t symbol_index, const char *symbol_name,
                                    std::uint32_t address, std::uint32_t build_version,
                                    std::uint32_t symbol_type, std::uint32_t call_convention,
                                    std::uint32_t param_count, const OOVPAParam *params);
using FenxMessageCallback = void (*)(std::uint32_t level, const char *text);

// Library-wide settings (process-wide, copied into each context when it is created).
void Fenx_SetMessageCallback(FenxMessageCallback callback);
bool Fenx_SetMessageLevel(std::uint32_t level); // 0 to 3; default 1
std::uint32_t Fenx_DatabaseVersion();           // of the built-in database, cached

// Library flags and names.
const char *Fenx_LibraryName(std::uint32_t flag);   // "UNKNOWN" unless exactly one known bit
std::uint32_t Fenx_LibraryFlag(const char *name);   // compared over 8 characters; 0 when unknown
std::uint32_t Fenx_LibraryType(std::uint32_t flag); // 1 to 6; 0 for no single known library

// Reading an image. `image` holds the whole XBE: as stored in its file when `raw_file` is set,
// as loaded at its base address otherwise. Nothing is copied; every position is checked against
// `image_size`.
//
// nullptr when the image can be scanned, else a short description of what lies outside the
// buffer. The builders below refuse such an image the same way (count 0 and a level-3 message).
const char *Fenx_CheckXbe(const std::uint8_t *image, std::size_t image_size, bool raw_file);
// The count; with a header, also fills at most header->Count filters and leaves Count alone.
std::uint32_t Fenx_BuildLibraryHeader(const std::uint8_t *image, std::size_t image_size,
                                      FenxLibraryHeader *header);
std::uint32_t Fenx_BuildSectionHeader(const std::uint8_t *image, std::size_t image_size,
                                      FenxSectionHeader *header, bool raw_file);
std::uint32_t Fenx_XbeType(const std::uint8_t *image, std::size_t image_size);
const char *Fenx_XbeTypeName(std::uint32_t type); // "RETAIL", "DEBUG", "CHIHIRO"
std::uint32_t Fenx_KernelThunkAddress(const std::uint8_t *image, std::size_t image_size);

// Contexts. The context copies both lists; the section data stays in the caller's buffer.
bool FenxContext_Create(FenxContext **out, FenxSymbolCallback symbol_callback,
                        const FenxLibraryHeader *libraries, const FenxSectionHeader *sections,
                        std::uint32_t kernel_thunk_address);
void FenxContext_SetIgnoreBuildLimit(FenxContext *context, bool value);
void FenxContext_SetScanWholeSection(FenxContext *context, bool value);
void FenxContext_SetKeepFirstAddress(FenxContext *context, bool value);
bool FenxContext_SetLibraryFilter(FenxContext *context, std::uint32_t mask);
void FenxContext_Release(FenxContext *context);

// Scans.
void FenxContext_ScanManual(FenxContext *context);
std::uint32_t FenxContext_ScanLibrary(FenxContext *context, const FenxLibraryFilter *library,
                                      bool first_pass);
void FenxContext_ScanAll(FenxContext *context);
void FenxContext_ReportDerived(FenxContext *context);
bool Fenx_ScanXbe(const std::uint8_t *image, std::size_t image_size,
                  FenxSymbolCallback symbol_callback, bool raw_file);

// The libraries that must be scanned before the library `flag`.
std::uint32_t Fenx_LibraryDependencyMask(std::uint32_t flag, const FenxLibraryHeader *libraries);
std::uint32_t FenxContext_LibraryDependencyMask(const FenxContext *context, std::uint32_t flag);

// One more than the number of database entries in the groups serving any library of `mask`.
std::uint32_t Fenx_LibraryEntryCount(std::uint32_t mask);

// Checks the built-in database; posts each problem at level 3 and returns their number.
std::uint32_t Fenx_TestDatabase();
