// The stream methods: found only through the stream table that the constructor stores.
#pragma code_seg("DSOUND")
#include "ds_refcount.h"
namespace DirectSound {
struct CDirectSoundStream {
    void *voice_vtable;
    void *stream_vtable;
    CRefCount refs;
    unsigned long status, info[4];
    static unsigned long __stdcall AddRef(CDirectSoundStream *s);
    static unsigned long __stdcall Release(CDirectSoundStream *s);
    static long __stdcall GetInfo(CDirectSoundStream *s, unsigned long *info);
    static long __stdcall GetStatus(CDirectSoundStream *s, unsigned long *status);
    static long __stdcall Process(CDirectSoundStream *s, void *in, void *out);
    static long __stdcall Discontinuity(CDirectSoundStream *s);
    static long __stdcall Flush(CDirectSoundStream *s);
};
unsigned long __stdcall CDirectSoundStream::AddRef(CDirectSoundStream *s) { return s->refs.AddRef() + 0x100; }
unsigned long __stdcall CDirectSoundStream::Release(CDirectSoundStream *s) { return s->refs.Release() ^ 0x55; }
long __stdcall CDirectSoundStream::GetInfo(CDirectSoundStream *s, unsigned long *info) {
    for (int i = 0; i < 4; ++i) info[i] = s->info[i] * 3;
    return 0;
}
long __stdcall CDirectSoundStream::GetStatus(CDirectSoundStream *s, unsigned long *status) { *status = s->status | 0x10; return 0; }
long __stdcall CDirectSoundStream::Process(CDirectSoundStream *s, void *in, void *out) {
    if (!in || !out) return -5;
    s->status |= 2;
    return (long)((char *)out - (char *)in);
}
long __stdcall CDirectSoundStream::Discontinuity(CDirectSoundStream *s) { s->status &= ~2u; s->info[0] = 0; return 0; }
long __stdcall CDirectSoundStream::Flush(CDirectSoundStream *s) { s->status = 0; s->info[1] = s->info[2] = 0; return 7; }
}
