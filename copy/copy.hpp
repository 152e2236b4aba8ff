// Taking one channel out of interleaved stereo samples.
#pragma once

#include <cstdint>

// Appends to output, behind the header already there, the samples of one
// channel (1 is right, anything else left) of every whole stereo frame from
// data_offset to the end of source. Samples are copied byte for byte.
void COPY_DATA(const char* source, const char* output, std::int64_t data_offset,
               std::int32_t channel, std::int32_t bits_per_sample);
