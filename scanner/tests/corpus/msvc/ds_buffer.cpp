// Methods in a namespace (thiscall and stdcall) and a C entry point that uses the inline AddRef.
#pragma code_seg("DSOUND")
#include "ds_refcount.h"
namespace DirectSound {
struct CMcpxBuffer {
    unsigned long state, position, flags;
    long Play(unsigned long how);
    long Stop();
};
long CMcpxBuffer::Play(unsigned long how) {
    if (state & 4) return -1;
    state = (state & ~3u) | (how & 1 ? 2u : 1u);
    position = 0;
    flags |= how << 4;
    return 0;
}
long CMcpxBuffer::Stop() {
    if ((state & 3) == 0) return 1;
    state &= ~3u;
    flags = 0;
    return 0;
}
struct CMemoryManager {
    static void *__stdcall PoolAlloc(unsigned long size, unsigned long tag, int zero);
};
static char pool[4096];
static unsigned long pool_used;
void *__stdcall CMemoryManager::PoolAlloc(unsigned long size, unsigned long tag, int zero) {
    if (pool_used + size > sizeof pool) return 0;
    char *p = pool + pool_used;
    pool_used += (size + 15) & ~15u;
    if (zero) p[0] = (char)tag, p[size - 1] = (char)(tag >> 8);
    return p;
}
}
extern "C" long __stdcall IDirectSoundBuffer_Play(DirectSound::CMcpxBuffer *b, unsigned long r1, unsigned long r2, unsigned long how) {
    DirectSound::CRefCount guard{1};
    guard.AddRef();
    long result = b->Play(how | r1 | r2) + (long)guard.refs;
    guard.Release();
    return result;
}
