// The frames are read in large blocks, and each block is taken apart 16
// frames at a time: one channel's samples go to the output's block, and every
// byte goes into a digest, so that the second channel's copy can tell whether
// it read what the first one did.
#include "copy/copy.hpp"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
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
constexpr std::int64_t page = 4096;

constexpr bool Holds_whole_frames(std::int64_t bytes)
{
    for (const std::uint32_t bits : sample_widths) {
        if (bytes % (std::int64_t{2} * Bytes_per_sample(bits)) != 0) return false;
    }
    return true;
}
static_assert(Holds_whole_frames(block_bytes), "a block holds whole frames of every sample width");

// Frames are moved a step of 16 at a time: 2 S vectors of 16 bytes in, for
// samples of S bytes, and S vectors of one channel's samples out.
constexpr std::int64_t step_frames = 16;
constexpr std::size_t widest =
    Bytes_per_sample(*std::max_element(std::begin(sample_widths), std::end(sample_widths)));

using Bytes16 = unsigned char __attribute__((vector_size(16)));
using Words16 = std::uint16_t __attribute__((vector_size(16)));
using Lanes = std::uint64_t __attribute__((vector_size(16)));

// The digest of the frames a copy reads. Each vector of a step goes into a
// chain of its own, two 64-bit lanes wide: the word is added, and the sum is
// mixed with itself shifted 29 bits down. Both halves of that can be undone,
// so a change of any one word changes its chain whatever follows; the sum
// carries upwards and the shift brings high bits down, so that words that
// trade places do not give the same chain. The chains of one step are
// independent of each other, and take the bytes as the move of the samples
// has them in hand.
template <typename T>
void Chain(T& chain, const T& word)
{
    chain += word;
    chain ^= chain >> 29;
}

std::uint64_t Fold(const Lanes* chains, std::size_t count)
{
    std::uint64_t digest = 0;
    for (std::size_t k = 0; k < count; ++k) {
        Chain(digest, chains[k][0]);
        Chain(digest, chains[k][1]);
    }
    return digest;
}

// The chains of one mover, 2 S of them. Kept by value, so that the compiler
// keeps them in registers: no store of samples can reach them.
template <std::size_t S>
using Chains = std::array<Lanes, 2 * S>;

// With a vector shuffle, samples are picked 8 at a time: 16-bit ones out of
// two vectors, 24-bit ones out of three by byte shuffles, which x86-64 has
// only with SSSE3 (checked at run time: the first x86-64 processors lack it)
// and every arm64 processor has. Per frame, digest included: 16-bit samples
// one by one 0.22 ns, by SSE2's word shuffles 0.14, by SSSE3's byte shuffle
// 0.12; 24-bit ones one by one 0.53, by the byte shuffle 0.19. Elsewhere, and
// with a compiler that has no shuffle (GCC before 12), they go one by one.
#if defined(__has_builtin)
#if __has_builtin(__builtin_shufflevector)
#define MONOSPLIT_SHUFFLES 1
#endif
#endif

#if defined(MONOSPLIT_SHUFFLES)
template <std::size_t C>
[[gnu::always_inline]] inline void Shuffle16(const Lanes* in, unsigned char* samples)
{
    for (std::size_t half = 0; half < 2; ++half) {
        const auto a = reinterpret_cast<Words16>(in[2 * half]);
        const auto b = reinterpret_cast<Words16>(in[2 * half + 1]);
        const Words16 picked = __builtin_shufflevector(a, b, C, 2 + C, 4 + C, 6 + C, 8 + C, 10 + C, 12 + C, 14 + C);
        std::memcpy(samples + 16 * half, &picked, 16);
    }
}

// Of 8 frames in a, b and c, the left samples are the first 16 bytes picked
// out of a and b and the last 8 out of b and c; the right ones, the first 8
// out of a and b and the last 16 out of b and c.
template <std::size_t C>
[[gnu::always_inline]] inline void Shuffle24(const Lanes* in, unsigned char* samples)
{
    for (std::size_t half = 0; half < 2; ++half) {
        const auto a = reinterpret_cast<Bytes16>(in[3 * half]);
        const auto b = reinterpret_cast<Bytes16>(in[3 * half + 1]);
        const auto c = reinterpret_cast<Bytes16>(in[3 * half + 2]);
        unsigned char* out = samples + 24 * half;
        if constexpr (C == 0) {
            const Bytes16 first =
                __builtin_shufflevector(a, b, 0, 1, 2, 6, 7, 8, 12, 13, 14, 18, 19, 20, 24, 25, 26, 30);
            const Bytes16 last =
                __builtin_shufflevector(b, c, 15, 16, 20, 21, 22, 26, 27, 28, 0, 0, 0, 0, 0, 0, 0, 0);
            std::memcpy(out, &first, 16);
            std::memcpy(out + 16, &last, 8);
        } else {
            const Bytes16 first = __builtin_shufflevector(a, b, 3, 4, 5, 9, 10, 11, 15, 16, 0, 0, 0, 0, 0, 0, 0, 0);
            const Bytes16 last =
                __builtin_shufflevector(b, c, 1, 5, 6, 7, 11, 12, 13, 17, 18, 19, 23, 24, 25, 29, 30, 31);
            std::memcpy(out, &first, 8);
            std::memcpy(out + 8, &last, 16);
        }
    }
}
#endif

// One step: the digest takes every byte of the 16 frames, and the samples of
// channel C (0 left, 1 right) are moved out of them.
template <std::size_t S, std::size_t C, bool Shuffled>
[[gnu::always_inline]] inline Chains<S> Step(const unsigned char* frames, unsigned char* samples, Chains<S> chains)
{
    Lanes words[2 * S];
    for (std::size_t k = 0; k < 2 * S; ++k) {
        std::memcpy(&words[k], frames + sizeof(Lanes) * k, sizeof(Lanes));
        Chain(chains[k], words[k]);
    }
#if defined(MONOSPLIT_SHUFFLES)
    if constexpr (Shuffled) {
        if constexpr (S == 2) Shuffle16<C>(words, samples);
        if constexpr (S == 3) Shuffle24<C>(words, samples);
        return chains;
    }
#endif
    for (std::int64_t i = 0; i < step_frames; ++i) std::memcpy(samples + i * S, frames + (2 * i + C) * S, S);
    return chains;
}

// Moves the samples of channel C out of count frames, and goes on with the
// digest in chains. The frames short of a whole step go through a step of
// their own, padded with zeros.
template <std::size_t S, std::size_t C, bool Shuffled>
[[gnu::always_inline]] inline void Move(const unsigned char* frames, unsigned char* samples, std::int64_t count,
                                        Lanes* chains)
{
    Chains<S> own;
    std::copy(chains, chains + own.size(), own.begin());
    std::int64_t i = 0;
    for (; i + step_frames <= count; i += step_frames)
        own = Step<S, C, Shuffled>(frames + 2 * S * i, samples + S * i, own);
    if (i < count) {
        unsigned char last[2 * S * step_frames] = {};
        unsigned char picked[S * step_frames];
        const auto left = static_cast<std::size_t>(count - i);
        std::memcpy(last, frames + 2 * S * i, left * 2 * S);
        own = Step<S, C, Shuffled>(last, picked, own);
        std::memcpy(samples + S * i, picked, left * S);
    }
    std::copy(own.begin(), own.end(), chains);
}

#if defined(MONOSPLIT_SHUFFLES) && defined(__x86_64__)
template <std::size_t S, std::size_t C>
[[gnu::target("ssse3")]] void Move_ssse3(const unsigned char* frames, unsigned char* samples, std::int64_t count,
                                         Lanes* chains)
{
    Move<S, C, true>(frames, samples, count, chains);
}
#endif

using Mover = void (*)(const unsigned char* frames, unsigned char* samples, std::int64_t count, Lanes* chains);

// The fastest mover of S-byte samples this processor has.
template <std::size_t S>
Mover Mover_of(bool right)
{
#if defined(MONOSPLIT_SHUFFLES) && defined(__x86_64__)
    if (__builtin_cpu_supports("ssse3") != 0) return right ? Move_ssse3<S, 1> : Move_ssse3<S, 0>;
#endif
#if defined(MONOSPLIT_SHUFFLES) && defined(__aarch64__)
    constexpr bool shuffled = true;
#elif defined(MONOSPLIT_SHUFFLES)
    constexpr bool shuffled = S == 2;
#else
    constexpr bool shuffled = false;
#endif
    return right ? Move<S, 1, shuffled> : Move<S, 0, shuffled>;
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

void COPY_DATA(const char* source, const File_id& source_id, const char* output, std::int64_t data_offset,
               std::int64_t frame_count, std::int32_t channel, std::int32_t bits_per_sample,
               std::int64_t samples_at, std::optional<std::uint64_t>& frames_digest)
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
    // Unbuffered can only be refused for a bad mode: the copy would merely be slower.
    (void)std::setvbuf(in, nullptr, _IONBF, 0);
    (void)std::setvbuf(out, nullptr, _IONBF, 0);

    const std::int64_t frame_bytes = 2 * s;
    const std::int64_t block_frames = block_bytes / frame_bytes;
    // Both blocks start on a page: the kernel's copies to and from a buffer a
    // few bytes off a page boundary, as malloc hands out large ones, took
    // more than twice as long here.
    const std::unique_ptr<unsigned char, decltype(&std::free)> blocks(
        static_cast<unsigned char*>(std::aligned_alloc(static_cast<std::size_t>(page),
                                                       static_cast<std::size_t>(block_bytes + block_bytes / 2))),
        &std::free);
    if (!blocks) Fail_closing(in, out, unable_to_read);
    unsigned char* frames = blocks.get();
    unsigned char* samples = frames + block_bytes;

    // The first block is short by just enough samples to bring the output to a
    // page boundary, so that every later write fills whole pages of it, which
    // the kernel does faster. Counted from where the caller says the samples
    // begin, not from the output itself (a FIFO has no offset), so that both
    // channels' copies read the same blocks and so give the same digest.
    std::int64_t first = 0;
    while (first < page && (samples_at + first * s) % page != 0) ++first;

    // Exactly the frames the header declares. Blocks follow each other, so one
    // seek to the first serves them all.
    if (fseeko(in, static_cast<off_t>(data_offset), SEEK_SET) != 0) Fail_closing(in, out, unable_to_read);
    Lanes chains[2 * widest] = {};
    std::int64_t n = first > 0 ? first : block_frames;
    for (std::int64_t remaining = frame_count; remaining > 0; remaining -= n, n = block_frames) {
        n = std::min(remaining, n);
        const auto bytes = static_cast<std::size_t>(n * frame_bytes);
        if (std::fread(frames, 1, bytes, in) != bytes) Fail_closing(in, out, unable_to_read);
        move(frames, samples, n, chains);
        if (std::fwrite(samples, 1, bytes / 2, out) != bytes / 2) Fail_closing(in, out, unable_to_write);
    }
    // The samples read are the take's only if nothing changed it meanwhile:
    // neither its size and times, nor, as both channels' copies read every
    // frame, its frames. A write that moves no time (within the same second
    // where times are kept in seconds, or through a shared mapping, or to the
    // file behind a block device) shows only in the frames.
    const std::uint64_t digest = Fold(chains, std::size(chains));
    if (!Is_file(in, source_id) || (frames_digest && *frames_digest != digest)) {
        Fail_closing(in, out, unable_to_read);
    }
    frames_digest = digest;

    (void)std::fclose(in);
    if (std::fclose(out) != 0) Fail(2, unable_to_write);
}
