#include "driver/fail.hpp"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

void Fail(int status, const char* format, ...)
{
    std::va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::putchar('\n');
    std::exit(status);
}
