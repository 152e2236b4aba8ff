// Reading the stereo source's header and writing the mono outputs' headers.
#pragma once

#include <cstdint>
#include <cstdio>

#include "common/identity.hpp"

// Finds the format and data chunks of the source and stores its attributes in
// slot index of each array: among them the size of the samples its data chunk
// declares (0 for none: the file ends before it, or it is unknown) and the
// identity of the file it read. Returns only for a stereo source of 16 or 24
// bits per sample; any other outcome prints one line and ends the process.
void GET_ATTRIBUTES(std::int32_t index, const char* source, std::uint32_t* channel_counts,
                    std::int64_t* data_offsets, std::uint64_t* data_sizes, std::uint32_t* sample_rates,
                    std::uint32_t* bytes_per_sample, std::uint32_t* bits_per_sample, File_id* source_ids);

// Reads the attributes of the source once more, from the file identified as
// source_ids[0] and unchanged, into slot 1 of each array, and ends the run with
// "Unable to read file." unless they are those of slot 0: the layout the split
// followed is still the source's. A source gone by then is one that can't be
// opened, as for the copies.
void CHECK_ATTRIBUTES(const char* source, std::uint32_t* channel_counts, std::int64_t* data_offsets,
                      std::uint64_t* data_sizes, std::uint32_t* sample_rates, std::uint32_t* bytes_per_sample,
                      std::uint32_t* bits_per_sample, const File_id* source_ids);

// Where the samples of in, a source of size bytes, end: at the size its data
// chunk declares when a chunk or an ID3v1 tag stands right behind them,
// otherwise at the end of the file. Reads 4 bytes of in at most; -1 when they
// can't be read.
std::int64_t Samples_end(std::FILE* in, std::int64_t size, std::int64_t data_offset, std::uint64_t declared);

// The length of the header MAKE_HEADER writes, behind which the samples go.
constexpr std::int64_t mono_header_length = 44;

// Creates (or truncates) output and leaves in it exactly the 44-byte header of
// a mono PCM file holding frame_count samples; output_id is the identity of
// the file written, as it stands with the header in it.
void MAKE_HEADER(const char* output, std::uint32_t sample_rate, std::uint32_t bits_per_sample,
                 std::int64_t frame_count, File_id& output_id);
