// Which file a name or an open stream stands for, and whether it is still the
// file it was. The source is opened by name at each stage, and between two
// openings it can be renamed over (an editor saving by writing a new file and
// renaming it over the old one), rewritten in place, cut short or grown (a
// take still being recorded): a split whose stages read two takes would pass
// one off as the other.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>

// The device, inode, size, modification and status-change times (seconds and
// nanoseconds) and type and permissions of a file. A write moves the times,
// but where they are kept in whole seconds (FAT, exFAT, ext4 with small
// inodes) or not moved at all (a write through a mapping whose pages are
// already dirty, a write to the file behind a block device), only the bytes
// can tell: the copier compares them.
using File_id = std::array<std::int64_t, 8>;

// Opens name for reading as the source, unbuffered, never waiting for a
// writer. Anything but a regular file or a block device (a FIFO, a socket, a
// folder) is no source, nor, once its identity is noted, anything but that
// very file unchanged. On failure it closes also (when given) and ends the
// process: when the name can't be opened, with missing, or saying that no file
// of that name is there where missing is null; otherwise with "Unable to read
// file.".
std::FILE* Open_source(const char* name, const File_id* noted, std::FILE* also, const char* missing);

// The size of the file identified as id, as it was then.
std::int64_t Size_of(const File_id& id);

// The identity of the file that stream reads; false when it can't be had.
bool Identify(std::FILE* stream, File_id& id);

// Whether stream still reads the file identified as id, unchanged.
bool Is_file(std::FILE* stream, const File_id& id);

// Whether stream, or the file name stands for, is the output identified as id
// when its header was written, holding exactly size bytes where it is a file
// that keeps them: no other writer truncated it, appended to it or put another
// file in its place. A FIFO or a device is only checked to be the same one.
bool Is_output(std::FILE* stream, const File_id& id, std::int64_t size);
bool Is_output(const char* name, const File_id& id, std::int64_t size);

// Claims output, a file that keeps what is written to it, for this process
// until it ends, creating it where it is not there, so that no other split
// writes it meanwhile: the outputs of two splits at once would be a mix of
// both. A FIFO or a device is left unclaimed: it keeps nothing to mix. Ends
// the run with "Unable to open file." when output can't be opened for writing
// and with "Unable to write file." when another process holds it.
void Claim_output(const char* output);

// Whether a and b are one file that keeps what is written to it, through links
// or device nodes. Two names for one character device (both outputs /dev/null,
// say) are no clash: nothing is kept. A block device keeps all, as a file does,
// and two nodes of one block device are one device.
bool Same_file(const char* a, const char* b);
