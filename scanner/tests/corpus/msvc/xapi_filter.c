/* Small functions: one stores at the filter variable plus 4, two are too small to tell apart. */
extern void *g_XapiCurrentTopLevelFilter[2];
extern int xapi_flags[4];
int xapi_flags[4];
long __stdcall UnhandledExceptionFilter(void *info) {
    long (__stdcall *filter)(void *) = (long (__stdcall *)(void *))g_XapiCurrentTopLevelFilter[0];
    long result;
    if (!filter || ((unsigned long)info & 3) != 0)
        return 0;
    result = filter(info);
    if (result == -1)
        xapi_flags[2] = 0x2A;
    return result > 0 ? 1 : result;
}
/* Stores one past the filter: the field refers to g_XapiCurrentTopLevelFilter + 4. */
void __stdcall XRegisterThreadNotifyRoutine(void *routine, int enable) {
    g_XapiCurrentTopLevelFilter[1] = enable ? routine : 0;
    xapi_flags[1] |= 1;
}
int __stdcall XAutoPowerDownResetTimer(int a, int b) { return 1; }
void __stdcall XapiBootToDash(void) { xapi_flags[0] = 0; }
