// Reading the stereo source's header and writing the mono outputs' headers.
#pragma once

#include <cstdint>

// Finds the format and data tags of the source and stores its attributes in
// slot index of each array. Returns only for a stereo source of 16 or 24 bits
// per sample; any other outcome prints one line and ends the process.
void GET_ATTRIBUTES(std::int32_t index, const char* source, std::uint32_t* channel_counts,
                    std::int64_t* data_offsets, std::uint32_t* sample_rates, std::uint32_t* bytes_per_sample,
                    std::uint32_t* bits_per_sample);

// Creates (or truncates) output and leaves in it exactly the 44-byte header of
// a mono PCM file holding frame_count samples.
void MAKE_HEADER(const char* output, std::uint32_t sample_rate, std::uint32_t bits_per_sample,
                 std::int64_t frame_count);
