/* Found by the XAPI derivation, never by a record of its own. */
unsigned long __stdcall XGetSectionSize(void *section) { return *(unsigned long *)((char *)section + 8); }
