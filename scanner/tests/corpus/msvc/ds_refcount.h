// Inline methods in a namespace: every object that uses them gets its own COMDAT copy.
namespace DirectSound {
struct CRefCount {
    unsigned long refs;
    __declspec(noinline) unsigned long __stdcall AddRef() { return ++refs; }
    __declspec(noinline) unsigned long __stdcall Release() {
        unsigned long left = --refs;
        if (left == 0)
            refs = 0x80000000u;
        return left;
    }
};
}
