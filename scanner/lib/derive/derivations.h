#pragma once
// Derivations: the hand-written steps of the manual scan for symbols without code of their own to
// match (globals, device field offsets, render-state slots, virtual tables, link-time tables),
// taken from the code and data of symbols that can be matched. Each is called for one library, one
// database group and one section at a time and returns true when its work is complete.
#include "lib/scan/context.h"

// D3D8 and D3D8LTCG: device pointer, render-state block, texture and stream state, device fields.
bool Fenxi_DeriveD3D8(FenxContext *context, const FenxLibraryFilter *library,
                      const LibraryDatabase *group, const FenxSectionFilter *section);

// DSOUND: the stream and voice virtual tables and the stream methods read from the stream table.
bool Fenxi_DeriveDSound(FenxContext *context, const FenxLibraryFilter *library,
                        const LibraryDatabase *group, const FenxSectionFilter *section);

// XAPILIB: XGetSectionSize from a call, g_DeviceType_MU from MU_Init, the device type table.
bool Fenxi_DeriveXapiLib(FenxContext *context, const FenxLibraryFilter *library,
                         const LibraryDatabase *group, const FenxSectionFilter *section);
