// Which file an open stream reads. The source is opened by name at each stage;
// a name can be renamed over between two openings (an editor saving by writing
// a new file and renaming it over the old one does just that), and a split
// whose stages read two files would pass one off as the other.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>

// The device and inode of a file.
using File_id = std::array<std::uint64_t, 2>;

// The identity of the file that stream reads; false when it can't be had.
bool Identify(std::FILE* stream, File_id& id);

// Whether stream reads the file identified as id.
bool Is_file(std::FILE* stream, const File_id& id);
