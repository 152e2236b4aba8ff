// The frames are read in large blocks, and each block is taken apart 16
// frames at a time: one channel's samples go to the output's block, and every
// byte goes into a digest, so that the second channel's copy can tell whether
// it read what the first one did.
#include "copy/copy.hpp"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <type_traits>

#include "common/fail.hpp"
#include "common/widths.hpp"

namespace {

constexpr bool Holds_whole_frames(std::int64_t bytes)
{
    for (const std::uint32_t bits : sample_widths) {
        if (bytes % (std::int64_t{2} * Bytes_per_sample(bits)) != 0) return false;
    }
    return true;
}
static_assert(Holds_whole_frames(block_bytes), "a block holds whole frames of every sample width");

// The size of the pages the kernel copies between a file and memory, and the
// page that is assumed where the system can't tell (4 KiB, the smallest Linux
// has anywhere).
std::int64_t Page_size()
{
    const long page = sysconf(_SC_PAGESIZE);
    return page > 0 ? page : 4096;
}

// Frames are moved a step of 16 at a time: 2 S vectors of 16 bytes in, for
// samples of S bytes, and S vectors of one channel's samples out.
constexpr std::int64_t step_frames = 16;
constexpr std::size_t vector_bytes = 16;

// The digest is Fletcher's checksum (J. G. Fletcher, 1982) with 64-bit sums:
// the frames are taken as 32-bit words, each word is added to a lane's sum,
// and that sum to the lane's sum of sums. A mover of vectors deals the words
// of every 16 bytes to four lanes, one each; the word-by-word mover keeps one
// lane. Both copies of a run use the same mover, so they lay out the same
// lanes, and every sum is compared, none folded into another.
//
// A change of one word by d changes its lane's sum by d, never a multiple of
// 2^64: any one word or byte changed is seen. Two words of one lane k words
// apart exchanged, or changed by +d and -d, leave the sum but change the sum
// of sums by d k, which is a multiple of 2^64 only when k is a multiple of
// 2^33 (32 GiB of one lane's words apart); two words of different lanes are
// each the one change of their lane. Beyond that the checksum is linear: a
// change escapes exactly when, in every lane, both the changes and the changes
// weighted by their place add up to 0, as two blocks exchanged do when their
// words sum the same, or three words of a lane changed by +d, -2d and +d.
// New random bytes written over a lane's words leave both its sums as they
// were less often than once in 2^64: each sum moves by a sum of differences
// spread over far more than 2^32 values.
using Lanes = std::uint64_t __attribute__((vector_size(vector_bytes)));
using Word_lanes = std::uint32_t __attribute__((vector_size(vector_bytes)));
using Bytes16 = unsigned char __attribute__((vector_size(vector_bytes)));
using Words16 = std::uint16_t __attribute__((vector_size(vector_bytes)));

using Wide_lanes = std::uint64_t __attribute__((vector_size(2 * vector_bytes)));

// A lane's sum and sum of sums; the four lanes' in two pairs of 16-byte
// vectors, or in two 32-byte ones where the processor has them. Each is kept
// by value, so that the compiler keeps them in registers.
using Word_sums = std::array<std::uint64_t, 2>;
using Vector_sums = std::array<Lanes, 4>;
using Wide_sums = std::array<Wide_lanes, 2>;
static_assert(sizeof(Vector_sums) == sizeof(Frames_digest) && sizeof(Wide_sums) == sizeof(Frames_digest) &&
                  sizeof(Word_sums) <= sizeof(Frames_digest),
              "a digest holds every lane's sums");

template <typename T>
[[gnu::always_inline]] inline void Add(T& sum, T& sum_of_sums, const T& words)
{
    sum += words;
    sum_of_sums += sum;
}

// Frames start at even offsets (chunks do), so the word-by-word mover reads
// them as 16-bit halves, which processors without unaligned loads read whole,
// and writes the samples as halves too: the samples' block starts on a page
// and a step's samples fill whole halves.
constexpr bool big_endian = __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__;

constexpr std::uint16_t Half(std::uint32_t first, std::uint32_t second)
{
    return static_cast<std::uint16_t>(big_endian ? first << 8 | second : second << 8 | first);
}

// Byte b of channel C's samples, out of the halves of the frames that hold
// them (samples of S bytes).
template <std::size_t S, std::size_t C>
[[gnu::always_inline]] inline std::uint32_t Byte_of(const std::uint16_t* halves, std::size_t b)
{
    const std::size_t at = (2 * (b / S) + C) * S + b % S;
    const std::uint32_t half = halves[at / 2];
    return (at % 2 == 0) == big_endian ? half >> 8 : half & 0xFF;
}

// A step on the machine's own words, two frames at a time: the sums over
// their 32-bit words, then the samples of channel C (0 left, 1 right) put
// together from the halves already read. A 32-bit processor adds 64 bits
// with a carry from one half to the other, which costs more than the move
// itself: there the step sums the halves in 32 bits, which no step's words
// can carry out of, and brings the step's sums into the lane's once, with
// the same result. It has too few registers to put 24-bit samples together
// from halves: it sums the whole step's words first, then copies those
// samples out of the frames, which measured faster.
template <std::size_t S, std::size_t C>
[[gnu::always_inline]] inline void Step(const unsigned char* frames, unsigned char* samples, Word_sums& sums)
{
    constexpr bool narrow = sizeof(std::uintptr_t) < sizeof(std::uint64_t);
    constexpr bool by_bytes = narrow && S == Bytes_per_sample(24);
    constexpr std::size_t group = by_bytes ? step_frames : 2;
    constexpr std::size_t words = 2 * S * step_frames / sizeof(std::uint32_t);
    static_assert(words * (words + 1) / 2 * 0xFFFF <= 0xFFFFFFFF, "a step's halves sum within 32 bits");
    const auto* even = static_cast<const unsigned char*>(__builtin_assume_aligned(frames, sizeof(std::uint16_t)));
    auto* out = static_cast<unsigned char*>(__builtin_assume_aligned(samples, sizeof(std::uint16_t)));
    std::uint32_t low = 0;
    std::uint32_t high = 0;
    std::uint32_t low_sums = 0;
    std::uint32_t high_sums = 0;
#pragma GCC unroll 8
    for (std::size_t g = 0; g < step_frames / group; ++g) {
        std::uint16_t halves[group * S];
        std::memcpy(halves, even + g * sizeof halves, sizeof halves);
#pragma GCC unroll 24
        for (std::size_t k = 0; k < group * S / 2; ++k) {
            if constexpr (narrow) {
                Add(low, low_sums, std::uint32_t{halves[2 * k]});
                Add(high, high_sums, std::uint32_t{halves[2 * k + 1]});
            } else {
                Add(sums[0], sums[1], halves[2 * k] + (std::uint64_t{halves[2 * k + 1]} << 16));
            }
        }
        if constexpr (!by_bytes) {
#pragma GCC unroll 3
            for (std::size_t k = 0; k < group * S / 2; ++k) {
                const std::uint16_t picked = Half(Byte_of<S, C>(halves, 2 * k), Byte_of<S, C>(halves, 2 * k + 1));
                std::memcpy(out + (g * group * S / 2 + k) * sizeof picked, &picked, sizeof picked);
            }
        }
    }
    if constexpr (narrow) {
        // Each word's running sum is the lane's sum before the step and the
        // step's own so far.
        sums[1] += words * sums[0] + low_sums + (std::uint64_t{high_sums} << 16);
        sums[0] += low + (std::uint64_t{high} << 16);
    }
    if constexpr (by_bytes) {
        // Each sample but the last is moved with the byte behind it, one
        // load and one store where 3 bytes take two of each; the next sample
        // overwrites that byte, and both stay within the step.
#pragma GCC unroll 16
        for (std::size_t i = 0; i + 1 < step_frames; ++i) {
            std::memcpy(out + i * S, even + (2 * i + C) * S, S + 1);
        }
        std::memcpy(out + (step_frames - 1) * S, even + (2 * step_frames - 2 + C) * S, S);
    }
}

// With a vector shuffle, samples are picked 8 at a time: 16-bit ones out of
// two vectors, 24-bit ones out of three by byte shuffles, which x86 has only
// with SSSE3 (checked at run time: the first x86-64 processors lack it, and
// Debian's i386 assumes no vectors at all). Only x86 and arm64 processors
// move samples in vectors.
#if defined(__has_builtin) && (defined(__x86_64__) || defined(__i386__) || defined(__aarch64__))
#if __has_builtin(__builtin_shufflevector)
#define MONOSPLIT_SHUFFLES 1
#endif
#endif

#if defined(MONOSPLIT_SHUFFLES)
template <std::size_t C>
[[gnu::always_inline]] inline void Shuffle16(const Lanes* in, unsigned char* samples)
{
    const auto a = reinterpret_cast<Words16>(in[0]);
    const auto b = reinterpret_cast<Words16>(in[1]);
    const Words16 picked = __builtin_shufflevector(a, b, C, 2 + C, 4 + C, 6 + C, 8 + C, 10 + C, 12 + C, 14 + C);
    std::memcpy(samples, &picked, vector_bytes);
}

// Of 8 frames in a, b and c, the left samples are the first 16 bytes picked
// out of a and b and the last 8 out of b and c; the right ones, the first 8
// out of a and b and the last 16 out of b and c.
template <std::size_t C>
[[gnu::always_inline]] inline void Shuffle24(const Lanes* in, unsigned char* samples)
{
    const auto a = reinterpret_cast<Bytes16>(in[0]);
    const auto b = reinterpret_cast<Bytes16>(in[1]);
    const auto c = reinterpret_cast<Bytes16>(in[2]);
    if constexpr (C == 0) {
        const Bytes16 first =
            __builtin_shufflevector(a, b, 0, 1, 2, 6, 7, 8, 12, 13, 14, 18, 19, 20, 24, 25, 26, 30);
        const Bytes16 last = __builtin_shufflevector(b, c, 15, 16, 20, 21, 22, 26, 27, 28, 0, 0, 0, 0, 0, 0, 0, 0);
        std::memcpy(samples, &first, 16);
        std::memcpy(samples + 16, &last, 8);
    } else {
        const Bytes16 first = __builtin_shufflevector(a, b, 3, 4, 5, 9, 10, 11, 15, 16, 0, 0, 0, 0, 0, 0, 0, 0);
        const Bytes16 last =
            __builtin_shufflevector(b, c, 1, 5, 6, 7, 11, 12, 13, 17, 18, 19, 23, 24, 25, 29, 30, 31);
        std::memcpy(samples, &first, 8);
        std::memcpy(samples + 8, &last, 16);
    }
}

// The four words of in widened to the lanes' 64 bits by interleaving them
// with zeros (the vector movers run on little-endian processors only), into
// two 16-byte vectors or one of 32 bytes.
template <typename Sums>
[[gnu::always_inline]] inline void Digest(const Lanes& in, Sums& sums)
{
    const auto words = reinterpret_cast<Word_lanes>(in);
    if constexpr (std::is_same_v<Sums, Wide_sums>) {
        const auto widened = __builtin_shufflevector(words, Word_lanes{}, 0, 4, 1, 4, 2, 4, 3, 4);
        Add(sums[0], sums[1], reinterpret_cast<Wide_lanes>(widened));
    } else {
        Add(sums[0], sums[2], reinterpret_cast<Lanes>(__builtin_shufflevector(words, Word_lanes{}, 0, 4, 1, 5)));
        Add(sums[1], sums[3], reinterpret_cast<Lanes>(__builtin_shufflevector(words, Word_lanes{}, 2, 6, 3, 7)));
    }
}

// A step in vectors: every 16 bytes into the digest, and the samples of
// channel C picked 8 frames at a time by the shuffle of their width. 24-bit
// samples go half a step at a time: a whole step's six vectors and the
// shuffles' masks are more than the eight vector registers of i686 hold.
template <std::size_t S, std::size_t C, typename Sums>
[[gnu::always_inline]] inline void Step(const unsigned char* frames, unsigned char* samples, Sums& sums)
{
    static_assert(S == Bytes_per_sample(16) || S == Bytes_per_sample(24), "a shuffle for every sample width");
    constexpr std::size_t shuffle_frames = 8;
    constexpr std::size_t part_frames = S == Bytes_per_sample(24) ? shuffle_frames : step_frames;
    constexpr std::size_t part_vectors = 2 * S * part_frames / vector_bytes;
#pragma GCC unroll 2
    for (std::size_t part = 0; part < step_frames; part += part_frames) {
        Lanes in[part_vectors];
#pragma GCC unroll 4
        for (std::size_t k = 0; k < part_vectors; ++k) {
            std::memcpy(&in[k], frames + 2 * S * part + vector_bytes * k, vector_bytes);
            Digest(in[k], sums);
        }
#pragma GCC unroll 2
        for (std::size_t i = 0; i < part_frames; i += shuffle_frames) {
            if constexpr (S == Bytes_per_sample(16)) {
                Shuffle16<C>(in + 2 * S * i / vector_bytes, samples + S * (part + i));
            } else {
                Shuffle24<C>(in + 2 * S * i / vector_bytes, samples + S * (part + i));
            }
        }
    }
}
#endif

// Moves the samples of channel C out of count frames, and goes on with the
// digest, whose sums a mover keeps as Sums. The frames short of a whole step
// go through a step of their own, padded with zeros.
template <std::size_t S, std::size_t C, typename Sums>
[[gnu::always_inline]] inline void Move(const unsigned char* frames, unsigned char* samples, std::int64_t count,
                                        Frames_digest& digest)
{
    Sums sums;
    std::memcpy(&sums, digest.data(), sizeof sums);
    std::int64_t i = 0;
    for (; i + step_frames <= count; i += step_frames) Step<S, C>(frames + 2 * S * i, samples + S * i, sums);
    if (i < count) {
        alignas(std::uint32_t) unsigned char last[2 * S * step_frames] = {};
        alignas(std::uint32_t) unsigned char picked[S * step_frames];
        const auto left = static_cast<std::size_t>(count - i);
        std::memcpy(last, frames + 2 * S * i, left * 2 * S);
        Step<S, C>(last, picked, sums);
        std::memcpy(samples + S * i, picked, left * S);
    }
    std::memcpy(digest.data(), &sums, sizeof sums);
}

#if defined(MONOSPLIT_SHUFFLES) && !defined(__aarch64__)
template <std::size_t S, std::size_t C>
[[gnu::target("ssse3")]] void Move_ssse3(const unsigned char* frames, unsigned char* samples, std::int64_t count,
                                         Frames_digest& digest)
{
    Move<S, C, Vector_sums>(frames, samples, count, digest);
}

template <std::size_t S, std::size_t C>
[[gnu::target("avx2")]] void Move_avx2(const unsigned char* frames, unsigned char* samples, std::int64_t count,
                                       Frames_digest& digest)
{
    Move<S, C, Wide_sums>(frames, samples, count, digest);
}
#endif

using Mover = void (*)(const unsigned char* frames, unsigned char* samples, std::int64_t count,
                       Frames_digest& digest);

// The mover of S-byte samples for this processor: vectors where it has the
// shuffles for them, and otherwise its own words. 16-bit samples go in
// vectors on any x86-64 (SSE2's word shuffles) and arm64; 24-bit ones on
// x86 with SSSE3 only: arm64's byte shuffle, TBL, is what qemu-user, where
// arm64 builds are mostly tried, runs slowest, byte by byte in a loop, and
// there its 24-bit mover took half as long again as the word-by-word one.
template <std::size_t S>
Mover Mover_of(bool right)
{
#if defined(MONOSPLIT_SHUFFLES) && !defined(__aarch64__)
    if (__builtin_cpu_supports("avx2") != 0) return right ? Move_avx2<S, 1> : Move_avx2<S, 0>;
    if (__builtin_cpu_supports("ssse3") != 0) return right ? Move_ssse3<S, 1> : Move_ssse3<S, 0>;
#endif
#if defined(MONOSPLIT_SHUFFLES) && !defined(__i386__)
    using Sums = std::conditional_t<S == Bytes_per_sample(16), Vector_sums, Word_sums>;
#else
    using Sums = Word_sums;
#endif
    return right ? Move<S, 1, Sums> : Move<S, 0, Sums>;
}

Mover Mover_for(std::uint32_t bits_per_sample, bool right)
{
    switch (bits_per_sample) {
        case 16:
            return Mover_of<Bytes_per_sample(16)>(right);
        case 24:
            return Mover_of<Bytes_per_sample(24)>(right);
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
    Fail(2, message);
}

}  // namespace

void COPY_DATA(const char* source, const File_id& source_id, const char* output, const File_id& output_id,
               std::int64_t data_offset, std::int64_t frame_count, std::int32_t channel,
               std::int32_t bits_per_sample, std::int64_t samples_at, std::optional<Frames_digest>& frames_digest)
{
    const auto bits = static_cast<std::uint32_t>(bits_per_sample);
    const Mover move = Mover_for(bits, channel == 1);
    const std::int64_t s = Bytes_per_sample(bits);
    std::FILE* out = std::fopen(output, "ab");
    std::FILE* in = Open_source(source, &source_id, out, unable_to_open);
    if (out == nullptr) {
        (void)std::fclose(in);
        Fail(2, unable_to_open);
    }
    // Another writer's bytes, or a file put in the output's place since its
    // header was written, would stand among the samples.
    if (!Is_output(out, output_id, samples_at)) Fail_closing(in, out, unable_to_write);
    // The blocks are large: a stream's buffer would only copy them once more.
    // Unbuffered can only be refused for a bad mode: the copy would merely be
    // slower.
    (void)std::setvbuf(out, nullptr, _IONBF, 0);

    // The kernel copies between a file's pages and memory fastest page for
    // page: each read lands in the frames' block at the place its offset in
    // the file has in a page, and each write leaves the samples' block from a
    // page boundary, as the output's place is one from the second block on.
    // Copies a few bytes off that phase run into the processor's 4 KiB
    // aliasing: a split of sox's 24-bit files took twice as long for it.
    const std::int64_t page = Page_size();
    const std::int64_t frame_bytes = 2 * s;
    const std::int64_t block_frames = block_bytes / frame_bytes;
    const std::unique_ptr<unsigned char, decltype(&std::free)> blocks(
        static_cast<unsigned char*>(std::aligned_alloc(
            static_cast<std::size_t>(page), static_cast<std::size_t>(block_bytes + page + block_bytes / 2))),
        &std::free);
    if (!blocks) Fail_closing(in, out, unable_to_read);
    unsigned char* samples = blocks.get();
    unsigned char* frames_page = samples + block_bytes / 2;

    // The first block is short by just enough samples to bring the output to a
    // page boundary, so that every later write fills whole pages of it, which
    // the kernel does faster. Counted from where the caller says the samples
    // begin, not from the output itself (a FIFO has no offset), so that both
    // channels' copies read the same blocks and so give the same digest.
    std::int64_t first = 0;
    while (first < page && (samples_at + first * s) % page != 0) ++first;

    // Blocks follow each other, so one seek to the first serves them all.
    std::int64_t at = data_offset;
    if (fseeko(in, static_cast<off_t>(at), SEEK_SET) != 0) Fail_closing(in, out, unable_to_read);
    Frames_digest digest{};
    std::int64_t n = first > 0 ? first : block_frames;
    for (std::int64_t remaining = frame_count; remaining > 0; remaining -= n, n = block_frames) {
        n = std::min(remaining, n);
        unsigned char* frames = frames_page + at % page;
        const auto bytes = static_cast<std::size_t>(n * frame_bytes);
        if (std::fread(frames, 1, bytes, in) != bytes) Fail_closing(in, out, unable_to_read);
        at += n * frame_bytes;
        move(frames, samples, n, digest);
        if (std::fwrite(samples, 1, bytes / 2, out) != bytes / 2) Fail_closing(in, out, unable_to_write);
    }
    // The samples read are the take's only if nothing changed it meanwhile:
    // neither its size and times, nor, as both channels' copies read every
    // frame, its frames. A write that moves no time (within the same second
    // where times are kept in seconds, or through a shared mapping, or to the
    // file behind a block device) shows only in the frames.
    if (!Is_file(in, source_id) || (frames_digest && *frames_digest != digest)) {
        Fail_closing(in, out, unable_to_read);
    }
    frames_digest = digest;
    if (!Is_output(out, output_id, samples_at + frame_count * s)) Fail_closing(in, out, unable_to_write);

    (void)std::fclose(in);
    if (std::fclose(out) != 0) Fail(2, unable_to_write);
}
