// DirectSound code goes to the DSOUND section, as in the real library.
#pragma code_seg("DSOUND")
#include "ds_refcount.h"
namespace DirectSound {
unsigned long __stdcall CRefCount::Release() {
    unsigned long left = --refs;
    if (left == 0) refs = 0x80000000u;
    return left;
}
}
