/* String literals, and the call the start-up code makes. */
unsigned long __stdcall XGetSectionSize(void *section);
int __stdcall XapiMapLetterToDirectory(const char *drive, const char *device, const char *title,
                                       int create, const void *name, int update);
int __stdcall XapiInitProcess(void *image) {
    unsigned long size = XGetSectionSize(image);
    return size > 0x1000 ? XapiMapLetterToDirectory("D:", "\\Device\\Cdrom0", "title", 0, 0, 1) : 0;
}
