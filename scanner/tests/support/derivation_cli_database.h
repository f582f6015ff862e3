#pragma once
// The database of the derivation copy of FendrelCLI: the manual entries the three derivations
// need for a small image, and one automatic function each for D3D8 and XAPILIB, so that a run
// shows the manual scan, the library scans and the derived-variable report together.
#include "lib/oovpa.h"
#include "support/derivation_code.h"

struct DerivationCliCode {
    CodeSignature debug_registers; // D3D_CommonSetDebugRegisters: device pointer and 3 states
    CodeSignature render_state_simple;
    CodeSignature get_viewport;         // automatic
    CodeSignature stream_constructor;   // table operands at +0x14 and +0x1B
    CodeSignature get_type_information; // table begin and end
    CodeSignature input_get_state;      // automatic
};

const DerivationCliCode &derivation_cli_code();

const FenxDatabase &derivation_cli_database();
