#include <gtest/gtest.h>

#include <cstdint>

#include "wav/fields.hpp"

namespace {

struct Field {
    unsigned char bytes[4];
    std::int64_t value;
};

TEST(fields, assem2_reads_little_endian_unsigned)
{
    const Field cases[] = {
        {{0x00, 0x00}, 0},
        {{0x02, 0x00}, 2},
        {{0x10, 0x00}, 16},
        {{0x18, 0x00}, 24},
        {{0x34, 0x12}, 0x1234},
        {{0xFF, 0xFF}, 65535},  // never negative
        {{0x00, 0x80}, 32768},
    };
    for (const auto& c : cases) EXPECT_EQ(Assem2(c.bytes), c.value) << c.value;
}

TEST(fields, assem4_reads_little_endian_as_signed_32_bits)
{
    const Field cases[] = {
        {{0x44, 0xAC, 0x00, 0x00}, 44100},
        {{0x80, 0xBB, 0x00, 0x00}, 48000},
        {{0x00, 0x77, 0x01, 0x00}, 96000},
        {{0x78, 0x56, 0x34, 0x12}, 0x12345678},
        {{0xFF, 0xFF, 0xFF, 0x7F}, 0x7FFFFFFF},
        {{0x00, 0x00, 0x00, 0x80}, -2147483648LL},
        {{0xFF, 0xFF, 0xFF, 0xFF}, -1},
    };
    for (const auto& c : cases) EXPECT_EQ(Assem4(c.bytes), c.value) << c.value;
}

TEST(fields, decon2_writes_the_low_two_bytes)
{
    const struct {
        std::uint32_t value;
        unsigned char bytes[2];
    } cases[] = {
        {0, {0x00, 0x00}},
        {3, {0x03, 0x00}},
        {0x1234, {0x34, 0x12}},
        {65535, {0xFF, 0xFF}},
        {0x12345678, {0x78, 0x56}},
    };
    for (const auto& c : cases) {
        unsigned char out[3] = {0xEE, 0xEE, 0xEE};
        Decon2(c.value, out);
        EXPECT_EQ(out[0], c.bytes[0]) << c.value;
        EXPECT_EQ(out[1], c.bytes[1]) << c.value;
        EXPECT_EQ(out[2], 0xEE) << "wrote past its 2 bytes for " << c.value;
    }
}

TEST(fields, decon4_writes_little_endian_modulo_2_to_the_32)
{
    const Field cases[] = {
        {{0x00, 0x00, 0x00, 0x00}, 0},
        {{0x24, 0x00, 0x00, 0x00}, 36},
        {{0xF4, 0x07, 0x00, 0x00}, 2036},
        {{0x00, 0x65, 0x04, 0x00}, 288000},
        {{0x78, 0x56, 0x34, 0x12}, 0x12345678},
        {{0xFF, 0xFF, 0xFF, 0xFF}, 0xFFFFFFFF},
        {{0x05, 0x00, 0x00, 0x00}, 0x100000005LL},
        {{0x01, 0x02, 0x03, 0x04}, 0xAB04030201LL},
    };
    for (const auto& c : cases) {
        unsigned char out[5] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
        Decon4(c.value, out);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(out[i], c.bytes[i]) << "byte " << i << " of " << c.value;
        EXPECT_EQ(out[4], 0xEE) << "wrote past its 4 bytes for " << c.value;
    }
}

}  // namespace
