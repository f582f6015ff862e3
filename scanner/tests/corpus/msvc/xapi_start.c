/* The entry point. */
int __stdcall XapiInitProcess(void *image);
int main(void);
int __cdecl mainCRTStartup(void) {
    XapiInitProcess((void *)0x10000);
    return main();
}
