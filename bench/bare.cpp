// The kernel's share of a split, as a floor for it: for each channel, a
// 44-byte header written, then the source's frames read in blocks of the
// copier's size and half of each block written, with no sample moved.
//   bare SOURCE LEFT RIGHT
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {

constexpr std::size_t header = 44;
constexpr std::size_t block = 786432;
constexpr std::size_t page = 4096;

bool Pass(const char* source, const char* output, unsigned char* buffer)
{
    const int in = open(source, O_RDONLY);
    const int out = open(output, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0) return false;
    if (write(out, buffer, header) != static_cast<ssize_t>(header)) return false;
    if (lseek(in, header, SEEK_SET) != static_cast<off_t>(header)) return false;
    ssize_t got = 0;
    while ((got = read(in, buffer, block)) > 0) {
        if (write(out, buffer, static_cast<std::size_t>(got / 2)) != got / 2) return false;
    }
    return got == 0 && close(in) == 0 && close(out) == 0;
}

}  // namespace

int main(int argc, char** argv)
{
    void* buffer = nullptr;
    if (argc != 4 || posix_memalign(&buffer, page, block) != 0) return 2;
    const bool done = Pass(argv[1], argv[2], static_cast<unsigned char*>(buffer)) &&
                      Pass(argv[1], argv[3], static_cast<unsigned char*>(buffer));
    std::free(buffer);
    if (!done) std::perror("bare");
    return done ? 0 : 1;
}
