// An inline method in a namespace: every object that uses it gets its own COMDAT copy.
namespace DirectSound {
struct CRefCount {
    unsigned long refs;
    __declspec(noinline) unsigned long __stdcall AddRef() { return ++refs; }
    unsigned long __stdcall Release();
};
}
