#include "common/identity.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "common/fail.hpp"

namespace {

File_id Id_of(const struct stat& s)
{
    return {static_cast<std::int64_t>(s.st_dev),          static_cast<std::int64_t>(s.st_ino),
            static_cast<std::int64_t>(s.st_size),         static_cast<std::int64_t>(s.st_mtim.tv_sec),
            static_cast<std::int64_t>(s.st_mtim.tv_nsec), static_cast<std::int64_t>(s.st_ctim.tv_sec),
            static_cast<std::int64_t>(s.st_ctim.tv_nsec), static_cast<std::int64_t>(s.st_mode)};
}

constexpr std::size_t device_of = 0;
constexpr std::size_t inode_of = 1;
constexpr std::size_t size_of = 2;
constexpr std::size_t mode_of = 7;

bool Is_output(const struct stat& now, const File_id& id, std::int64_t size)
{
    const File_id got = Id_of(now);
    const bool keeps = S_ISREG(static_cast<mode_t>(id[mode_of]));
    return got[device_of] == id[device_of] && got[inode_of] == id[inode_of] && (!keeps || got[size_of] == size);
}

bool Is_source_kind(const struct stat& s)
{
    return S_ISREG(s.st_mode) || S_ISBLK(s.st_mode);
}

}  // namespace

std::FILE* Open_source(const char* name, const File_id* noted, std::FILE* also, const char* missing)
{
    // Opened without blocking, so that a FIFO answers at once instead of
    // waiting for a writer. Blocking is turned back on for the reads that
    // follow: Linux's own file systems ignore the flag for a file or a block
    // device, but a file system in user space is handed it with every read and
    // may answer one with EAGAIN, which would end the run as a failed read.
    const int fd = open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat s {};
    if (fd < 0) {
        // A socket can't be opened at all, yet it is there: the same answer as
        // for any other file that is no source.
        const bool there = stat(name, &s) == 0 && !Is_source_kind(s);
        if (also != nullptr) (void)std::fclose(also);
        if (there) Fail(2, unable_to_read);
        if (missing == nullptr) Fail_missing(name);
        Fail(2, missing);
    }
    std::FILE* in = nullptr;
    if (fstat(fd, &s) == 0 && Is_source_kind(s) && fcntl(fd, F_SETFL, 0) == 0) in = fdopen(fd, "rb");
    // Unbuffered, so that each read is one of the program's own, whose
    // failure it sees: a buffered stream reads ahead, and takes a failure of
    // a read ahead within a seek for none.
    if (in != nullptr) (void)std::setvbuf(in, nullptr, _IONBF, 0);
    if (in == nullptr || (noted != nullptr && Id_of(s) != *noted)) {
        if (in != nullptr)
            (void)std::fclose(in);
        else
            (void)close(fd);
        if (also != nullptr) (void)std::fclose(also);
        Fail(2, unable_to_read);
    }
    return in;
}

std::int64_t Size_of(const File_id& id)
{
    return id[size_of];
}

bool Identify(std::FILE* stream, File_id& id)
{
    struct stat s {};
    if (fstat(fileno(stream), &s) != 0) return false;
    id = Id_of(s);
    return true;
}

bool Is_file(std::FILE* stream, const File_id& id)
{
    File_id now{};
    return Identify(stream, now) && now == id;
}

bool Is_output(std::FILE* stream, const File_id& id, std::int64_t size)
{
    struct stat s {};
    return fstat(fileno(stream), &s) == 0 && Is_output(s, id, size);
}

bool Is_output(const char* name, const File_id& id, std::int64_t size)
{
    struct stat s {};
    return stat(name, &s) == 0 && Is_output(s, id, size);
}

void Claim_output(const char* output)
{
    struct stat s {};
    if (stat(output, &s) == 0) {
        if (!S_ISREG(s.st_mode)) return;
    } else if (errno != ENOENT) {
        Fail(2, unable_to_open);
    }
    // Never closed: the claim is the open file's, and ends with the process.
    const int fd = open(output, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) Fail(2, unable_to_open);
    // A file system that has no such locks leaves the split to the checks of
    // what each output holds.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) Fail(2, unable_to_write);
}

bool Same_file(const char* a, const char* b)
{
    struct stat sa {};
    struct stat sb {};
    if (stat(a, &sa) != 0) return errno != ENOENT;
    if (stat(b, &sb) != 0) return errno != ENOENT;
    if (S_ISBLK(sa.st_mode) && S_ISBLK(sb.st_mode)) return sa.st_rdev == sb.st_rdev;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino && !S_ISCHR(sa.st_mode);
}
