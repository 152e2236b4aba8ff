// Taking one channel out of interleaved stereo samples.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "common/identity.hpp"

// The frames are read in blocks of this many bytes: 768 KiB, which holds whole
// frames of every width and whole pages of every page size Linux has.
constexpr std::int64_t block_bytes = 786432;

// What a copy read of the frames, told by the sums of the digest's lanes.
using Frames_digest = std::array<std::uint64_t, 8>;

// A way to move one channel's samples out of count frames into samples, going
// on with the digest of the frames.
using Mover = void (*)(const unsigned char* frames, unsigned char* samples, std::int64_t count,
                       Frames_digest& digest);

// The movers of the samples of bits_per_sample of the right channel or the
// left that this processor runs: the scalar one, which runs anywhere, then
// the vector ones, the last the fastest, each repeating the one before where
// the processor lacks it. All lay out the same digest.
using Movers = std::array<Mover, 3>;
Movers Movers_for(std::uint32_t bits_per_sample, bool right);

// Appends to output, the file identified as output_id holding only the header
// of samples_at bytes, the samples of one channel (1 is right, anything else
// left) of frame_count stereo frames of 16 or 24 bits starting at data_offset
// in source, byte for byte. frames_digest is the digest of every frame byte a
// copy read: the first copy notes it, and every later one must read the same.
// A source that ends before the frames, is not the file identified as
// source_id unchanged from its opening to the last sample read, or gives other
// frames than the first copy read, is a read failure; an output that is not
// that file holding the header, or then the header and the samples, a write
// failure.
void COPY_DATA(const char* source, const File_id& source_id, const char* output, const File_id& output_id,
               std::int64_t data_offset, std::int64_t frame_count, std::int32_t channel,
               std::int32_t bits_per_sample, std::int64_t samples_at, std::optional<Frames_digest>& frames_digest);
