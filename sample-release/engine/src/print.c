#include "ormolt/engine.h"

#include <stdarg.h>
#include <stdio.h>

int ormolt_print(const char *format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const int written = vprintf(format, arguments);
    va_end(arguments);
    fflush(stdout);
    return written;
}
