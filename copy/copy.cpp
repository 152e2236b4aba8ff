// copy/: taking one channel out of the interleaved stereo samples.
#include "copy/copy.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "common/fail.hpp"

namespace {

// Large blocks read and written straight between the files and the blocks:
// the streams are unbuffered, so no byte is copied through a stdio buffer on
// its way, and a block of 131072 frames takes a few system calls per
// megabyte. Smaller blocks cost more calls than they save in cache misses;
// both blocks together stay near a megabyte for 24-bit samples.
constexpr std::int64_t block_frames = 131072;

// One sample of S bytes moved as the W bytes that start with it: one load and
// one store for a 3-byte sample, where moving exactly 3 bytes takes two of
// each. The byte dragged along is overwritten by the next sample, or lands in
// the slack behind the block; the frames block has a byte of slack too, for
// the right sample of its last frame.
template <std::size_t S, std::size_t W>
void Pick(const unsigned char* frames, unsigned char* samples, std::int64_t count)
{
    for (std::int64_t i = 0; i < count; ++i) std::memcpy(samples + i * S, frames + 2 * i * S, W);
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
    const std::unique_ptr<unsigned char[]> frames(new unsigned char[block_frames * frame_bytes + 1]);
    const std::unique_ptr<unsigned char[]> samples(new unsigned char[block_frames * s + 1]);
    // The right sample follows the left one within each frame.
    const std::int64_t skip = channel == 1 ? s : 0;

    // Exactly the frames the header declares. Blocks follow each other, so one
    // seek to the first serves them all.
    if (fseeko(in, static_cast<off_t>(data_offset), SEEK_SET) != 0) Fail_closing(in, out, "Unable to read file.");
    for (std::int64_t remaining = frame_count; remaining > 0;) {
        const std::int64_t n = std::min(remaining, block_frames);
        const auto bytes = static_cast<std::size_t>(n * frame_bytes);
        if (std::fread(frames.get(), 1, bytes, in) != bytes) Fail_closing(in, out, "Unable to read file.");
        if (s == 2)
            Pick<2, 2>(frames.get() + skip, samples.get(), n);
        else
            Pick<3, 4>(frames.get() + skip, samples.get(), n);
        if (std::fwrite(samples.get(), 1, bytes / 2, out) != bytes / 2)
            Fail_closing(in, out, "Unable to write file.");
        remaining -= n;
    }
    // The samples read are the take's only if nothing changed it meanwhile.
    if (!Is_file(in, source_id)) Fail_closing(in, out, "Unable to read file.");

    (void)std::fclose(in);
    if (std::fclose(out) != 0) Fail(2, "Unable to write file.");
}
