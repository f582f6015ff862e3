#pragma once
// The signature database's vocabulary: canonical symbol names by index and the names of
// calling conventions and parameter locations used in the extended output.
#include <cstdint>

#include "lib/oovpa.h"

// Library symbols occupy xref slots 380 to 1200; slots 1 to 378 are kernel export ordinals.
enum : std::uint32_t {
    FENX_SYMBOL_INDEX_FIRST = 380,
    FENX_SYMBOL_INDEX_LAST = 1200,
    FENX_SYMBOL_INDEX_COUNT = FENX_SYMBOL_INDEX_LAST - FENX_SYMBOL_INDEX_FIRST + 1,
};

// Calling convention codes of an entry.
enum : std::uint32_t {
    FENX_CALL_UNKNOWN = 0,
    FENX_CALL_NONE = 1, // variables and fragments
    FENX_CALL_CDECL = 2,
    FENX_CALL_STDCALL = 3,
    FENX_CALL_THISCALL = 4,
    FENX_CALL_FASTCALL = 5,
};

// Parameter location codes: a stack slot ("psh"), two stack slots ("psh2") or a register.
enum : std::uint32_t {
    FENX_PARAM_UNK = 0,
    FENX_PARAM_VOID = 1,
    FENX_PARAM_PSH2 = 2,
    FENX_PARAM_PSH = 3,
    FENX_PARAM_EAX = 4,
    FENX_PARAM_AX = 5,
    FENX_PARAM_AH = 6,
    FENX_PARAM_AL = 7,
    FENX_PARAM_EBX = 8,
    FENX_PARAM_BX = 9,
    FENX_PARAM_BH = 10,
    FENX_PARAM_BL = 11,
    FENX_PARAM_ECX = 12,
    FENX_PARAM_CX = 13,
    FENX_PARAM_CH = 14,
    FENX_PARAM_CL = 15,
    FENX_PARAM_EDX = 16,
    FENX_PARAM_DX = 17,
    FENX_PARAM_DH = 18,
    FENX_PARAM_DL = 19,
    FENX_PARAM_EBP = 20,
    FENX_PARAM_EDI = 21,
    FENX_PARAM_ESI = 22,
};

// The canonical name of a library symbol index (380 to 1200); nullptr for any other index,
// kernel ordinals included.
const char *Fenx_SymbolName(std::uint32_t index);

// "unknown", "none", "cdecl", "stdcall", "thiscall", "fastcall"; "unknown" for any other code.
const char *Fenx_CallConventionName(std::uint32_t code);

// "unk", "void", "psh2", "psh", then the register names; "unk" for any code above 22.
const char *Fenx_ParamLocationName(std::uint32_t code);

// The index whose canonical name is exactly `name`; 0 when no symbol has that name.
std::uint32_t Fenxi_SymbolIndexByName(const char *name);
