// Little-endian integer fields of RIFF/WAVE headers.
#pragma once

#include <cstdint>

// 2 bytes to 0..65535.
std::int64_t Assem2(const unsigned char* bytes);

// 4 bytes formed in 32 bits and read as signed, so a field of 2^31 or more
// comes back negative. Every caller (sample rate, chunk sizes, the halves of
// a 64-bit size) stores the result back into 32 unsigned bits, which keeps
// its bit pattern whole.
std::int64_t Assem4(const unsigned char* bytes);

// The low 2 bytes of value.
void Decon2(std::uint32_t value, unsigned char* bytes);

// For a non-negative value, the 4 little-endian bytes of value modulo 2^32.
void Decon4(std::int64_t value, unsigned char* bytes);
