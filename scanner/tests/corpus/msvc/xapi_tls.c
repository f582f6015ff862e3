/* The last error lives in a thread-local variable. */
__declspec(thread) unsigned long xapi_last_error;
void __stdcall SetLastError(unsigned long e) { xapi_last_error = e; }
unsigned long __stdcall GetLastError(void) { return xapi_last_error; }
