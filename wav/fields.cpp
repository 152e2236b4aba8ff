#include "wav/fields.hpp"

std::int64_t Assem2(const unsigned char* bytes)
{
    return std::int64_t{bytes[0]} | std::int64_t{bytes[1]} << 8;
}

std::int64_t Assem4(const unsigned char* bytes)
{
    const std::uint32_t pattern = std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 |
                                  std::uint32_t{bytes[2]} << 16 | std::uint32_t{bytes[3]} << 24;
    return static_cast<std::int32_t>(pattern);
}

void Decon2(std::uint32_t value, unsigned char* bytes)
{
    bytes[0] = static_cast<unsigned char>(value & 0xFF);
    bytes[1] = static_cast<unsigned char>(value >> 8 & 0xFF);
}

void Decon4(std::int64_t value, unsigned char* bytes)
{
    // Each byte above the lowest is a truncated quotient of what is left.
    // For a value from 0 up this is its little-endian byte; for a negative one
    // the quotients round toward zero (-1 gives FF 00 00 00, not FF FF FF FF),
    // which no header sees: sizes and counts are never below 0.
    const std::int64_t q3 = value / (std::int64_t{1} << 24);
    std::int64_t rest = value - q3 * (std::int64_t{1} << 24);
    const std::int64_t q2 = rest / (std::int64_t{1} << 16);
    rest -= q2 * (std::int64_t{1} << 16);
    const std::int64_t q1 = rest / (std::int64_t{1} << 8);
    bytes[0] = static_cast<unsigned char>(value & 0xFF);
    bytes[1] = static_cast<unsigned char>(q1 & 0xFF);
    bytes[2] = static_cast<unsigned char>(q2 & 0xFF);
    bytes[3] = static_cast<unsigned char>(q3 & 0xFF);
}
