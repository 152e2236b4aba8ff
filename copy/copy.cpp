// copy/: taking one channel out of the interleaved stereo samples.
#include "copy/copy.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "common/fail.hpp"
#include "common/identity.hpp"

namespace {

constexpr std::int64_t block_frames = 1024;

// Behind the 1024-frame blocks, so that the kernel sees 16 times fewer reads
// and writes. On 256 MB sources 64 KiB beat both smaller and larger buffers by
// a fifth or more: it stays in the core's cache between the kernel's copy into
// it and the copy out of it into the block.
constexpr std::size_t stdio_buffer = 1 << 16;

// With the sample width known at compile time the copy of each sample is a
// fixed-size move the compiler turns into plain loads and stores.
template <std::size_t S>
void Pick(const unsigned char* frames, unsigned char* samples, std::int64_t count)
{
    for (std::int64_t i = 0; i < count; ++i) std::memcpy(samples + i * S, frames + 2 * i * S, S);
}

[[noreturn]] void Fail_closing(std::FILE* in, std::FILE* out, const char* message)
{
    // The run has failed already: a failed close cannot make it worse.
    (void)std::fclose(in);
    (void)std::fclose(out);
    Fail(2, "%s", message);
}

}  // namespace

void COPY_DATA(const char* source, const File_id& source_id, const char* output, std::int64_t data_offset,
               std::int64_t frame_count, std::int32_t channel, std::int32_t bits_per_sample)
{
    // The only widths there are: the header reader lets no other through.
    const std::int64_t s = bits_per_sample == 24 ? 3 : 2;
    std::FILE* in = std::fopen(source, "rb");
    std::FILE* out = std::fopen(output, "ab");
    if (in == nullptr || out == nullptr) {
        if (in != nullptr) (void)std::fclose(in);
        if (out != nullptr) (void)std::fclose(out);
        Fail(2, "Unable to open file.");
    }
    if (!Is_file(in, source_id)) Fail_closing(in, out, "Unable to read file.");
    std::vector<char> in_stdio(stdio_buffer);
    std::vector<char> out_stdio(stdio_buffer);
    // Without them the copy is merely slower: setvbuf can only fail for a bad mode.
    (void)std::setvbuf(in, in_stdio.data(), _IOFBF, stdio_buffer);
    (void)std::setvbuf(out, out_stdio.data(), _IOFBF, stdio_buffer);

    std::vector<unsigned char> frames(static_cast<std::size_t>(2 * block_frames * s));
    std::vector<unsigned char> samples(static_cast<std::size_t>(block_frames * s));
    const std::int64_t frame_bytes = 2 * s;
    // The right sample follows the left one within each frame.
    const std::int64_t skip = channel == 1 ? s : 0;

    // Exactly the frames the header declares: samples appended to the source
    // since it was measured are not part of this take, and a source that no
    // longer holds them must not pass for a shorter one. Blocks follow each
    // other, so one seek to the first serves them all.
    if (fseeko(in, static_cast<off_t>(data_offset), SEEK_SET) != 0) Fail_closing(in, out, "Unable to read file.");
    for (std::int64_t left = frame_count; left > 0;) {
        const std::int64_t n = std::min(left, block_frames);
        if (std::fread(frames.data(), static_cast<std::size_t>(frame_bytes), static_cast<std::size_t>(n), in) !=
            static_cast<std::size_t>(n)) {
            Fail_closing(in, out, "Unable to read file.");
        }
        if (s == 2)
            Pick<2>(frames.data() + skip, samples.data(), n);
        else
            Pick<3>(frames.data() + skip, samples.data(), n);
        if (std::fwrite(samples.data(), static_cast<std::size_t>(s), static_cast<std::size_t>(n), out) !=
            static_cast<std::size_t>(n)) {
            Fail_closing(in, out, "Unable to write file.");
        }
        left -= n;
    }

    (void)std::fclose(in);  // only read from: every byte wanted has arrived
    if (std::fclose(out) != 0) Fail(2, "Unable to write file.");
}
