// The frames are read in large blocks, and each block is taken apart 16
// frames at a time: one channel's samples go to the output's block, and every
// byte goes into a digest, so that the second channel's copy can tell whether
// it read what the first one did. How each choice below measured is in
// bench/README.md.
#include "copy/copy.hpp"

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "common/fail.hpp"
#include "common/widths.hpp"

// Vectors on x86 and arm64 where the compiler has the shuffles for them (GCC
// 12 and clang), unless the build asks for the scalar mover alone (cmake
// -DMONOSPLIT_MOVER=scalar).
#if defined(__has_builtin) && !defined(MONOSPLIT_SCALAR_ONLY)
#if __has_builtin(__builtin_shufflevector) && (defined(__x86_64__) || defined(__i386__) || defined(__aarch64__))
#define MONOSPLIT_VECTORS 1
#endif
#endif
#if defined(MONOSPLIT_VECTORS) && defined(__aarch64__)
#include <arm_neon.h>
#endif

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

// Frames are moved a step of 16 at a time, the last step of a move padded
// with zeros.
constexpr std::int64_t step_frames = 16;

// The digest is Fletcher's checksum (J. G. Fletcher, 1982) with 64-bit sums,
// in lanes: the frames are taken as little-endian 32-bit words, each word is
// added to a lane's sum, and that sum to the lane's sum of sums. The vector
// movers deal the words of every 16 bytes to four lanes, one each; the scalar
// mover keeps one lane. The digest is the lanes' sums and then their sums of
// sums, four of each. Both copies of a run use the same mover, so they lay out
// the same lanes, and every sum is compared, none folded into another.
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
constexpr std::size_t lanes = 4;

// The scalar mover's lane: its sum first in the digest, its sum of sums first
// of the sums of sums.
using Word_sums = std::array<std::uint64_t, lanes + 1>;
static_assert(sizeof(Word_sums) <= sizeof(Frames_digest), "a digest holds every lane's sums");
constexpr std::size_t sum = 0;
constexpr std::size_t sum_of_sums = lanes;

// The scalar mover keeps its lane in the digest's order.
[[gnu::always_inline]] inline void Keep(Word_sums& /*sums*/, bool /*in*/) {}

template <typename T>
[[gnu::always_inline]] inline void Add(T& sum, T& sum_of_sums, const T& words)
{
    sum += words;
    sum_of_sums += sum;
}

// The scalar mover reads frames as 16-bit halves, which every processor
// loads whole at the even offsets frames start at, and writes samples as
// halves too, which the samples' block, on a page, holds whole.
constexpr bool big_endian = __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__;

constexpr std::uint16_t Half(std::uint32_t first, std::uint32_t second)
{
    return static_cast<std::uint16_t>(big_endian ? first << 8 | second : second << 8 | first);
}

// What a half read from the frames adds to its word: its bytes little-endian.
constexpr std::uint32_t Value(std::uint16_t half)
{
    return big_endian ? __builtin_bswap16(half) : half;
}

// Byte b of channel C's samples of S bytes, out of the halves of their frames.
template <std::size_t S, std::size_t C>
[[gnu::always_inline]] inline std::uint32_t Byte_of(const std::uint16_t* halves, std::size_t b)
{
    const std::size_t at = (2 * (b / S) + C) * S + b % S;
    const std::uint32_t half = halves[at / 2];
    return (at % 2 == 0) == big_endian ? half >> 8 : half & 0xFF;
}

// A step of the scalar mover, on channel C (0 left, 1 right): two frames at a
// time, their words added to the lane, then the samples put together from the
// halves already read. A 32-bit processor adds 64 bits in two instructions:
// there the step sums the words' halves in 32 bits, which no step's halves
// carry out of, and brings those sums into the lane's once. It has too few
// registers to put 24-bit samples together: it sums the whole step's words,
// read whole (armhf and i386 load them at any offset), then copies each
// sample with the byte behind it, one load and one store where 3 bytes take
// two of each, the next sample overwriting that byte.
template <std::size_t S, std::size_t C>
[[gnu::always_inline]] inline void Step(const unsigned char* frames, unsigned char* samples, Word_sums& sums)
{
    constexpr bool narrow = sizeof(std::uintptr_t) < sizeof(std::uint64_t);
    constexpr std::size_t words = 2 * S * step_frames / sizeof(std::uint32_t);
    static_assert(words * (words + 1) / 2 * 0xFFFF <= 0xFFFFFFFF, "a step's halves sum within 32 bits");
    const auto* even = static_cast<const unsigned char*>(__builtin_assume_aligned(frames, sizeof(std::uint16_t)));
    auto* out = static_cast<unsigned char*>(__builtin_assume_aligned(samples, sizeof(std::uint16_t)));
    std::uint32_t low = 0;
    std::uint32_t high = 0;
    std::uint32_t low_sums = 0;
    std::uint32_t high_sums = 0;
    constexpr bool by_words = narrow && S == Bytes_per_sample(24);
    constexpr std::size_t group = by_words ? step_frames : 2;
    for (std::size_t g = 0; g < step_frames / group; ++g) {
        std::uint16_t halves[group * S];
        if constexpr (by_words) {
#pragma GCC unroll 24
            for (std::size_t k = 0; k < words; ++k) {
                std::uint32_t word;
                std::memcpy(&word, even + k * sizeof word, sizeof word);
                halves[2 * k] = static_cast<std::uint16_t>(big_endian ? word >> 16 : word);
                halves[2 * k + 1] = static_cast<std::uint16_t>(big_endian ? word : word >> 16);
            }
        } else {
            std::memcpy(halves, even + g * sizeof halves, sizeof halves);
        }
#pragma GCC unroll 24
        for (std::size_t k = 0; k < group * S / 2; ++k) {
            if constexpr (narrow) {
                Add(low, low_sums, Value(halves[2 * k]));
                Add(high, high_sums, Value(halves[2 * k + 1]));
            } else {
                Add(sums[sum], sums[sum_of_sums],
                    Value(halves[2 * k]) + (std::uint64_t{Value(halves[2 * k + 1])} << 16));
            }
        }
        if constexpr (!by_words) {
            for (std::size_t k = 0; k < group * S / 2; ++k) {
                const std::uint16_t picked = Half(Byte_of<S, C>(halves, 2 * k), Byte_of<S, C>(halves, 2 * k + 1));
                std::memcpy(out + (g * group * S / 2 + k) * sizeof picked, &picked, sizeof picked);
            }
        }
    }
    if constexpr (narrow) {
        // Each word's running sum is the lane's sum before the step and the
        // step's own so far.
        sums[sum_of_sums] += words * sums[sum] + low_sums + (std::uint64_t{high_sums} << 16);
        sums[sum] += low + (std::uint64_t{high} << 16);
    }
    if constexpr (by_words) {
        for (std::size_t i = 0; i + 1 < step_frames; ++i) {
            std::memcpy(out + i * S, even + (2 * i + C) * S, S + 1);
        }
        std::memcpy(out + (step_frames - 1) * S, even + (2 * step_frames - 2 + C) * S, S);
    }
}

#if defined(MONOSPLIT_VECTORS)
constexpr std::size_t vector_bytes = 16;
using Lanes = std::uint64_t __attribute__((vector_size(vector_bytes)));
using Bytes16 = unsigned char __attribute__((vector_size(vector_bytes)));
using Halves = std::uint16_t __attribute__((vector_size(vector_bytes)));
// Two lanes' sums a vector, kept by value so that the compiler keeps them in
// registers: the digest's order is the sums of lanes 0 and 1, of 2 and 3, and
// their sums of sums.
using Vector_sums = std::array<Lanes, 4>;
static_assert(sizeof(Vector_sums) == sizeof(Frames_digest), "the vector sums are the digest");
// A vector's words are its lanes' numbers only where each word's bytes are
// little-endian.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "vectors move samples on little-endian processors only");

// The four words of 16 bytes added to their lanes, in as few instructions as
// the processor has for it. arm64 widens 32-bit words as it adds them to
// 64-bit sums. SSSE3 would widen them in instructions of their own: it adds
// the 16 bytes as two 64-bit numbers instead, whose sums are those of words 0 and
// 2 plus 2^32 times those of words 1 and 3, and sums words 1 and 3 apart too,
// so that Keep can take them out again at the end of a move.
#if defined(__aarch64__)
[[gnu::always_inline]] inline void Digest(const Bytes16& in, Vector_sums& sums)
{
    const auto words = reinterpret_cast<uint32x4_t>(in);
    sums[0] = reinterpret_cast<Lanes>(vaddw_u32(reinterpret_cast<uint64x2_t>(sums[0]), vget_low_u32(words)));
    sums[1] = reinterpret_cast<Lanes>(vaddw_high_u32(reinterpret_cast<uint64x2_t>(sums[1]), words));
    sums[2] += sums[0];
    sums[3] += sums[1];
}

[[gnu::always_inline]] inline void Keep(Vector_sums& /*sums*/, bool /*in*/) {}
#else
[[gnu::always_inline]] inline void Digest(const Bytes16& in, Vector_sums& sums)
{
    const auto words = reinterpret_cast<Lanes>(in);
    sums[0] += words;
    sums[1] += words >> 32;
    sums[2] += sums[0];
    sums[3] += sums[1];
}

// The sums as Digest keeps them, out of the digest's order (in), or back.
[[gnu::always_inline]] inline void Keep(Vector_sums& sums, bool in)
{
    for (const std::size_t k : {0, 2}) {
        if (in) {
            const Lanes odd = __builtin_shufflevector(sums[k], sums[k + 1], 1, 3);
            sums[k] = __builtin_shufflevector(sums[k], sums[k + 1], 0, 2) + (odd << 32);
            sums[k + 1] = odd;
        } else {
            const Lanes even = sums[k] - (sums[k + 1] << 32);
            sums[k] = __builtin_shufflevector(even, sums[k + 1], 0, 2);
            sums[k + 1] = __builtin_shufflevector(even, sums[k + 1], 1, 3);
        }
    }
}

// With AVX2, 256 bits hold all four lanes' sums, and the words widen into them
// as they load: three instructions a 16 bytes where the others take four, and
// fewer vector registers, which i686 has eight of. The digest's order is
// theirs.
using Wide = std::uint64_t __attribute__((vector_size(2 * vector_bytes)));
using Words = std::uint32_t __attribute__((vector_size(vector_bytes)));
using Wide_sums = std::array<Wide, 2>;
static_assert(sizeof(Wide_sums) == sizeof(Frames_digest), "the wide sums are the digest");

[[gnu::always_inline]] inline void Digest(const Bytes16& in, Wide_sums& sums)
{
    const auto words = reinterpret_cast<Words>(in);
    sums[0] += reinterpret_cast<Wide>(__builtin_shufflevector(words, Words{}, 0, 4, 1, 4, 2, 4, 3, 4));
    sums[1] += sums[0];
}

[[gnu::always_inline]] inline void Keep(Wide_sums& /*sums*/, bool /*in*/) {}
#endif

// Channel C's samples of 8 frames: 16-bit ones out of two vectors, 24-bit ones
// out of three, the left ones the first 16 bytes picked out of a and b and the
// last 8 out of b and c, the right ones the first 8 out of a and b and the
// last 16 out of b and c.
template <std::size_t C>
[[gnu::always_inline]] inline void Pick16(const Bytes16* in, unsigned char* samples)
{
    const auto a = reinterpret_cast<Halves>(in[0]);
    const auto b = reinterpret_cast<Halves>(in[1]);
    const Halves picked = __builtin_shufflevector(a, b, C, 2 + C, 4 + C, 6 + C, 8 + C, 10 + C, 12 + C, 14 + C);
    std::memcpy(samples, &picked, vector_bytes);
}

template <std::size_t C>
[[gnu::always_inline]] inline void Pick24(const Bytes16* in, unsigned char* samples)
{
    const Bytes16 a = in[0];
    const Bytes16 b = in[1];
    const Bytes16 c = in[2];
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

// A step in vectors: 16-bit frames a whole step at once, 24-bit ones half a
// step at a time, as a whole step of them, six vectors and the shuffles'
// masks, is more than the eight vector registers of i686 hold.
template <std::size_t S, std::size_t C, typename Sums>
[[gnu::always_inline]] inline void Step(const unsigned char* frames, unsigned char* samples, Sums& sums)
{
    static_assert(S == Bytes_per_sample(16) || S == Bytes_per_sample(24), "a shuffle for every sample width");
    constexpr std::size_t pick_frames = 8;
    constexpr std::size_t part_frames = S == Bytes_per_sample(24) ? pick_frames : step_frames;
    for (std::size_t part = 0; part < step_frames; part += part_frames) {
        Bytes16 in[2 * S * part_frames / vector_bytes];
        for (std::size_t k = 0; k < sizeof in / vector_bytes; ++k) {
            std::memcpy(&in[k], frames + 2 * S * part + vector_bytes * k, vector_bytes);
            Digest(in[k], sums);
        }
        for (std::size_t i = 0; i < part_frames; i += pick_frames) {
            if constexpr (S == Bytes_per_sample(16)) {
                Pick16<C>(in + 2 * S * i / vector_bytes, samples + S * (part + i));
            } else {
                Pick24<C>(in + 2 * S * i / vector_bytes, samples + S * (part + i));
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
    Keep(sums, true);
    std::int64_t i = 0;
    for (; i + step_frames <= count; i += step_frames) Step<S, C>(frames + 2 * S * i, samples + S * i, sums);
    if (i < count) {
        alignas(std::uint32_t) unsigned char last[2 * S * step_frames] = {};
        alignas(std::uint16_t) unsigned char picked[S * step_frames];
        const auto left = static_cast<std::size_t>(count - i);
        std::memcpy(last, frames + 2 * S * i, left * 2 * S);
        Step<S, C>(last, picked, sums);
        std::memcpy(samples + S * i, picked, left * S);
    }
    Keep(sums, false);
    std::memcpy(digest.data(), &sums, sizeof sums);
}

template <std::size_t S, std::size_t C>
void Move_scalar(const unsigned char* frames, unsigned char* samples, std::int64_t count, Frames_digest& digest)
{
    Move<S, C, Word_sums>(frames, samples, count, digest);
}

#if defined(MONOSPLIT_VECTORS)
// x86 has the byte shuffles only with SSSE3, which the first x86-64
// processors lack and Debian's i386 does not assume: it is looked for when
// the program runs.
template <std::size_t S, std::size_t C>
#if !defined(__aarch64__)
[[gnu::target("ssse3")]]
#endif
void Move_vectors(const unsigned char* frames, unsigned char* samples, std::int64_t count, Frames_digest& digest)
{
    Move<S, C, Vector_sums>(frames, samples, count, digest);
}

#if !defined(__aarch64__)
template <std::size_t S, std::size_t C>
[[gnu::target("avx2")]] void Move_avx2(const unsigned char* frames, unsigned char* samples, std::int64_t count,
                                       Frames_digest& digest)
{
    Move<S, C, Wide_sums>(frames, samples, count, digest);
}
#endif
#endif

template <std::size_t S>
Movers Movers_of(bool right)
{
    const Mover scalar = right ? Move_scalar<S, 1> : Move_scalar<S, 0>;
#if defined(MONOSPLIT_VECTORS)
    const Mover vectors = right ? Move_vectors<S, 1> : Move_vectors<S, 0>;
#if !defined(__aarch64__)
    if (__builtin_cpu_supports("ssse3") == 0) return {scalar, scalar, scalar};
    if (__builtin_cpu_supports("avx2") != 0) return {scalar, vectors, right ? Move_avx2<S, 1> : Move_avx2<S, 0>};
#endif
    return {scalar, vectors, vectors};
#else
    return {scalar, scalar, scalar};
#endif
}

[[noreturn]] void Fail_closing(std::FILE* in, std::FILE* out, const char* message)
{
    (void)std::fclose(in);
    (void)std::fclose(out);
    Fail(2, message);
}

}  // namespace

Movers Movers_for(std::uint32_t bits_per_sample, bool right)
{
    switch (bits_per_sample) {
        case 16:
            return Movers_of<Bytes_per_sample(16)>(right);
        case 24:
            return Movers_of<Bytes_per_sample(24)>(right);
        default:
            // The header reader lets no other width through: reaching here is
            // a fault of this program, which must not copy a sample wrongly.
            std::abort();
    }
}

void COPY_DATA(const char* source, const File_id& source_id, const char* output, const File_id& output_id,
               std::int64_t data_offset, std::int64_t frame_count, std::int32_t channel,
               std::int32_t bits_per_sample, std::int64_t samples_at, std::optional<Frames_digest>& frames_digest)
{
    const auto bits = static_cast<std::uint32_t>(bits_per_sample);
    const Mover move = Movers_for(bits, channel == 1).back();
    // Frames start at even offsets, as chunks do: the scalar mover reads
    // their words as halves. Any other offset is a fault of this program.
    if (data_offset % 2 != 0) std::abort();
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
