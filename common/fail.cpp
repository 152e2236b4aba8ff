#include "common/fail.hpp"

#include <cstdio>
#include <cstdlib>

void Fail(int status, const char* message)
{
    (void)std::printf("%s\n", message);
    std::exit(status);
}

void Fail_missing(const char* name)
{
    (void)std::printf("Cannot find file in track list called %s!!\n", name);
    std::exit(2);
}
