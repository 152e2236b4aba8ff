#include "common/fail.hpp"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

void Fail(int status, const char* format, ...)
{
    std::va_list args;
    va_start(args, format);
    // The status is the verdict; a message that cannot be shown (standard
    // output closed, say) leaves nothing better to do than to exit with it.
    (void)std::vprintf(format, args);
    va_end(args);
    (void)std::putchar('\n');
    std::exit(status);
}
