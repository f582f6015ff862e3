/* Events over kernel calls: SetEvent and PulseEvent differ only in the kernel export they call. */
__declspec(dllimport) long __stdcall NtSetEvent(void *h, long *p);
__declspec(dllimport) long __stdcall NtPulseEvent(void *h, long *p);
__declspec(dllimport) long __stdcall NtClearEvent(void *h);
__declspec(dllimport) long __stdcall NtCreateEvent(void **h, void *a, int t, int s);
__declspec(dllimport) unsigned long __stdcall RtlNtStatusToDosError(long s);
__declspec(dllimport) long long __stdcall KeQueryPerformanceCounter(void);
void __stdcall SetLastError(unsigned long e);
int __stdcall SetEvent(void *h) { return NtSetEvent(h, 0) >= 0; }
int __stdcall PulseEvent(void *h) { return NtPulseEvent(h, 0) >= 0; }
void __stdcall XapiSetLastNTError(long status) { SetLastError(RtlNtStatusToDosError(status)); }
int __stdcall ResetEvent(void *h) {
    long status = NtClearEvent(h);
    if (status < 0) { XapiSetLastNTError(status); return 0; }
    return 1;
}
void *__stdcall CreateEventA(void *attributes, int manual, int initial, const char *name) {
    void *h = 0;
    long status = NtCreateEvent(&h, name ? (void *)name : attributes, manual ? 0 : 1, initial);
    if (status < 0) { XapiSetLastNTError(status); return 0; }
    return h;
}
int __stdcall QueryPerformanceCounter(long long *count) {
    *count = KeQueryPerformanceCounter();
    return 1;
}
/* A loop: vectorised at -O2, not at -O1, so the two builds differ. */
long __stdcall XapiCallThreadNotifyRoutines(const long *routines, int count, long seed) {
    long sum = seed;
    int i;
    for (i = 0; i < count; ++i)
        sum += routines[i] * 3 + (routines[i] >> 2);
    return sum;
}
