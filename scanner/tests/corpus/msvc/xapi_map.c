/* Calls a kernel export before XGetSectionSize; the switch becomes a jump table. */
__declspec(dllimport) long __stdcall RtlInitAnsiString(void *s, const char *t);
__declspec(dllimport) long __stdcall IoCreateSymbolicLink(void *a, void *b);
unsigned long __stdcall XGetSectionSize(void *section);
int __stdcall XapiMapLetterToDirectory(const char *drive, const char *device, const char *title,
                                       int create, const void *name, int update) {
    char link[16];
    unsigned long size;
    RtlInitAnsiString(link, drive);
    size = XGetSectionSize((void *)device);
    switch (drive[0]) {
    case 'T': return IoCreateSymbolicLink(link, (void *)title) + (int)size;
    case 'U': return IoCreateSymbolicLink(link, (void *)device) - create;
    case 'Z': return IoCreateSymbolicLink((void *)name, link) * 3;
    case 'D': return update + (int)size * 5;
    case 'E': return create ? 7 : 11;
    default: return -1;
    }
}
