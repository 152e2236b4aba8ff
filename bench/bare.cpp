// The kernel's share of a split, as a floor for it: for each channel, a
// 44-byte header written, then the source's frames from DATA_OFFSET (44 when
// not given) read in blocks of the copier's size, each at its offset's place
// in a page as the copier reads them, and half of each block written, with no
// sample moved.
//   bare SOURCE LEFT RIGHT [DATA_OFFSET]
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "copy/copy.hpp"

namespace {

constexpr std::size_t header = 44;
const auto block = static_cast<std::size_t>(block_bytes);

bool Pass(const char* source, const char* output, off_t offset, unsigned char* buffer, std::size_t page)
{
    const int in = open(source, O_RDONLY);
    const int out = open(output, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0) return false;
    if (write(out, buffer, header) != static_cast<ssize_t>(header)) return false;
    if (lseek(in, offset, SEEK_SET) != offset) return false;
    unsigned char* frames = buffer + static_cast<std::size_t>(offset) % page;
    ssize_t got = 0;
    while ((got = read(in, frames, block)) > 0) {
        if (write(out, frames, static_cast<std::size_t>(got / 2)) != got / 2) return false;
    }
    return got == 0 && close(in) == 0 && close(out) == 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    void* buffer = nullptr;
    if ((argc != 4 && argc != 5) || posix_memalign(&buffer, page, block + page) != 0) return 2;
    const off_t offset = argc == 5 ? std::atoll(argv[4]) : static_cast<off_t>(header);
    const bool done = Pass(argv[1], argv[2], offset, static_cast<unsigned char*>(buffer), page) &&
                      Pass(argv[1], argv[3], offset, static_cast<unsigned char*>(buffer), page);
    std::free(buffer);
    if (!done) std::perror("bare");
    return done ? 0 : 1;
}
