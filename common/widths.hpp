// The sample widths a source may have, and the bytes a sample of each takes:
// the header reader refuses every other width, and the copier has a mover for
// each of these.
#pragma once

#include <cstdint>

constexpr std::uint32_t sample_widths[] = {16, 24};

constexpr std::uint32_t Bytes_per_sample(std::uint32_t bits_per_sample)
{
    return bits_per_sample / 8;
}

constexpr bool Is_sample_width(std::uint32_t bits_per_sample)
{
    for (const std::uint32_t bits : sample_widths) {
        if (bits == bits_per_sample) return true;
    }
    return false;
}
