/* Input: the device type table walk (fastcall), and XInputClose, whose twin is in xapi_poll.c. */
struct XppRecord { unsigned char code; void *descriptor; };
extern const struct XppRecord *const g_DeviceTypeInfoTableBegin[];
extern const struct XppRecord *const g_DeviceTypeInfoTableEnd[];
void *__fastcall GetTypeInformation(unsigned char type, unsigned long *index) {
    const struct XppRecord *const *p;
    for (p = g_DeviceTypeInfoTableBegin; p < g_DeviceTypeInfoTableEnd; ++p)
        if ((*p)->code == type) { *index = (unsigned long)(p - g_DeviceTypeInfoTableBegin); return (*p)->descriptor; }
    return 0;
}
void *__stdcall XInputOpen(void *type, unsigned long port, unsigned long slot, void *parameters) {
    unsigned long index = 0;
    void *info = GetTypeInformation((unsigned char)(unsigned long)type, &index);
    if (!info || port > 3) return 0;
    return (char *)info + index * 16 + slot + (parameters ? 1 : 0);
}
int __stdcall XInputClose(int h) { return h * 3 + 11; }
