#include "common/fail.hpp"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

void Fail(int status, const char* format, ...)
{
    std::va_list args;
    va_start(args, format);
    (void)std::vprintf(format, args);
    va_end(args);
    (void)std::putchar('\n');
    std::exit(status);
}
