#include "common/identity.hpp"

#include <sys/stat.h>

bool Identify(std::FILE* stream, File_id& id)
{
    struct stat status {};
    if (fstat(fileno(stream), &status) != 0) return false;
    id = {static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
    return true;
}

bool Is_file(std::FILE* stream, const File_id& id)
{
    File_id now{};
    return Identify(stream, now) && now == id;
}
