// copy/: taking one channel out of the interleaved stereo samples.
#include "copy/copy.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "common/fail.hpp"
#include "common/widths.hpp"

namespace {

// Large blocks read and written straight between the files and the blocks:
// the streams are unbuffered, so no byte is copied through a stdio buffer on
// its way. 768 KiB of frames (131072 of 24 bits, 196608 of 16 bits) a block
// measured fastest within 4 MiB of memory: smaller blocks take more system
// calls, and blocks of 384, 192 and 96 KiB took 7, 15 and 30 % longer.
constexpr std::int64_t block_bytes = 786432;
constexpr std::size_t page = 4096;

constexpr bool Holds_whole_frames(std::int64_t bytes)
{
    for (const std::uint32_t bits : sample_widths) {
        if (bytes % (2 * Bytes_per_sample(bits)) != 0) return false;
    }
    return true;
}
static_assert(Holds_whole_frames(block_bytes), "a block holds whole frames of every sample width");

// With the sample width known at compile time the copy of each sample is a
// fixed-size move: the compiler vectorises the 2-byte one, and the 3-byte one
// is two plain moves. (Moving 4 bytes and letting the next sample overwrite
// the extra one measured slower: the overlapping stores stall.)
template <std::size_t S>
void Pick(const unsigned char* frames, unsigned char* samples, std::int64_t count)
{
    for (std::int64_t i = 0; i < count; ++i) std::memcpy(samples + i * S, frames + 2 * i * S, S);
}

// Moving 3-byte samples one at a time took most of a 24-bit split's own time.
// Where the processor has a byte shuffle (SSSE3 on x86-64, checked at run time
// because the first x86-64 processors lack it; every arm64 one), 8 samples go
// at once: three 16-byte loads, two shuffles, two stores. Elsewhere, and with
// a compiler that lacks the shuffle, Pick<3> serves.
#if defined(__has_builtin)
#if __has_builtin(__builtin_shufflevector) && (defined(__x86_64__) || defined(__aarch64__))
#define MONOSPLIT_SHUFFLE24 1
#endif
#endif

#if defined(MONOSPLIT_SHUFFLE24)
using Bytes16 = unsigned char __attribute__((vector_size(16)));

#if defined(__x86_64__)
[[gnu::target("ssse3")]]
#endif
void Shuffle24(const unsigned char* frames, unsigned char* samples, std::int64_t count)
{
    std::int64_t i = 0;
    // Strictly less: the right samples' last load reaches 3 bytes into the
    // frame after the 8, which must be there.
    for (; i + 8 < count; i += 8) {
        Bytes16 a, b, c;
        std::memcpy(&a, frames + 6 * i, 16);
        std::memcpy(&b, frames + 6 * i + 16, 16);
        std::memcpy(&c, frames + 6 * i + 32, 16);
        const Bytes16 first =
            __builtin_shufflevector(a, b, 0, 1, 2, 6, 7, 8, 12, 13, 14, 18, 19, 20, 24, 25, 26, 30);
        const Bytes16 last = __builtin_shufflevector(b, c, 15, 16, 20, 21, 22, 26, 27, 28, 0, 0, 0, 0, 0, 0, 0, 0);
        std::memcpy(samples + 3 * i, &first, 16);
        std::memcpy(samples + 3 * i + 16, &last, 8);
    }
    Pick<3>(frames + 6 * i, samples + 3 * i, count - i);
}
#endif

// How one channel's samples are moved out of a block of frames.
using Mover = void (*)(const unsigned char* frames, unsigned char* samples, std::int64_t count);

Mover Mover_for(std::uint32_t bits_per_sample)
{
    switch (bits_per_sample) {
        case 16:
            return Pick<2>;
        case 24:
#if defined(MONOSPLIT_SHUFFLE24) && defined(__x86_64__)
            return __builtin_cpu_supports("ssse3") != 0 ? Shuffle24 : Pick<3>;
#elif defined(MONOSPLIT_SHUFFLE24)
            return Shuffle24;
#else
            return Pick<3>;
#endif
        default:
            // The header reader lets no other width through: reaching here is
            // a fault of this program, which must not copy a sample wrongly.
            std::abort();
    }
}

[[noreturn]] void Fail_closing(std::FILE* in, std::FILE* out, const char* message)
{
    (void)std::fclose(in);
    (void)std::fclose(out);
    Fail(2, "%s", message);
}

}  // namespace

void COPY_DATA(const char* source, const File_id& source_id, const char* output, std::int64_t data_offset,
               std::int64_t frame_count, std::int32_t channel, std::int32_t bits_per_sample)
{
    const Mover pick = Mover_for(static_cast<std::uint32_t>(bits_per_sample));
    const std::int64_t s = Bytes_per_sample(static_cast<std::uint32_t>(bits_per_sample));
    std::FILE* out = std::fopen(output, "ab");
    std::FILE* in = Open_source(source, &source_id, out, "Unable to open file.");
    if (out == nullptr) {
        (void)std::fclose(in);
        Fail(2, "Unable to open file.");
    }
    // Unbuffered can only be refused for a bad mode: the copy would merely be slower.
    (void)std::setvbuf(in, nullptr, _IONBF, 0);
    (void)std::setvbuf(out, nullptr, _IONBF, 0);

    const std::int64_t frame_bytes = 2 * s;
    const std::int64_t block_frames = block_bytes / frame_bytes;
    // Both blocks start on a page: the kernel's copies to and from a buffer a
    // few bytes off a page boundary, as malloc hands out large ones, took
    // more than twice as long here.
    const std::unique_ptr<unsigned char, decltype(&std::free)> blocks(
        static_cast<unsigned char*>(
            std::aligned_alloc(page, static_cast<std::size_t>(block_bytes + block_bytes / 2))),
        &std::free);
    if (!blocks) Fail_closing(in, out, "Unable to read file.");
    unsigned char* frames = blocks.get();
    unsigned char* samples = frames + block_bytes;
    // The right sample follows the left one within each frame.
    const std::int64_t skip = channel == 1 ? s : 0;

    // Exactly the frames the header declares. Blocks follow each other, so one
    // seek to the first serves them all.
    if (fseeko(in, static_cast<off_t>(data_offset), SEEK_SET) != 0) Fail_closing(in, out, "Unable to read file.");
    for (std::int64_t remaining = frame_count; remaining > 0;) {
        const std::int64_t n = std::min(remaining, block_frames);
        const auto bytes = static_cast<std::size_t>(n * frame_bytes);
        if (std::fread(frames, 1, bytes, in) != bytes) Fail_closing(in, out, "Unable to read file.");
        pick(frames + skip, samples, n);
        if (std::fwrite(samples, 1, bytes / 2, out) != bytes / 2) Fail_closing(in, out, "Unable to write file.");
        remaining -= n;
    }
    // The samples read are the take's only if nothing changed it meanwhile.
    if (!Is_file(in, source_id)) Fail_closing(in, out, "Unable to read file.");

    (void)std::fclose(in);
    if (std::fclose(out) != 0) Fail(2, "Unable to write file.");
}
