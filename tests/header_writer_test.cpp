#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>

#include "support.hpp"
#include "wav/header.hpp"

namespace {

using test::Bytes;
using test::field;

class header_writer : public test::InFolder {
protected:
    Bytes write(std::uint32_t rate, std::uint32_t bits, std::int64_t frames)
    {
        const std::string path = at("out.wav");
        MAKE_HEADER(path.c_str(), rate, bits, frames);
        return test::read_file(path);
    }
};

TEST_F(header_writer, writes_the_known_bytes_of_a_16_bit_header)
{
    const Bytes expected = {
        0x52, 0x49, 0x46, 0x46,  // "RIFF"
        0xF4, 0x07, 0x00, 0x00,  // RIFF size 2036
        0x57, 0x41, 0x56, 0x45,  // "WAVE"
        0x66, 0x6D, 0x74, 0x20,  // "fmt "
        0x10, 0x00, 0x00, 0x00,  // format chunk body: 16 bytes
        0x01, 0x00,              // PCM
        0x01, 0x00,              // 1 channel
        0x44, 0xAC, 0x00, 0x00,  // 44100 Hz
        0x88, 0x58, 0x01, 0x00,  // 88200 bytes per second
        0x02, 0x00,              // block align 2
        0x10, 0x00,              // 16 bits
        0x64, 0x61, 0x74, 0x61,  // "data"
        0xD0, 0x07, 0x00, 0x00,  // data size 2000
    };
    EXPECT_EQ(write(44100, 16, 1000), expected);
}

TEST_F(header_writer, declares_data_size)
{
    const struct {
        std::uint32_t rate, bits;
        std::int64_t frames;
        std::uint64_t riff_size, byte_rate, align, data_size;
    } cases[] = {
        {48000, 24, 1000, 3036, 144000, 3, 3000},
        {44100, 16, 0, 36, 88200, 2, 0},
        {96000, 24, 1, 39, 288000, 3, 3},
        {8000, 16, 1024, 2084, 16000, 2, 2048},
        // the largest sizes that still fit in 32 bits
        {44100, 16, (0xFFFFFFFFLL - 36) / 2, 0xFFFFFFFFLL - 1, 88200, 2, 0xFFFFFFFFLL - 37},
        {48000, 24, (0xFFFFFFFFLL - 36) / 3, 0xFFFFFFFFLL, 144000, 3, 0xFFFFFFFFLL - 36},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bits << " bits, " << c.frames << " frames");
        const Bytes header = write(c.rate, c.bits, c.frames);
        ASSERT_EQ(header.size(), 44u);
        EXPECT_EQ(field(header, 4, 4), c.riff_size);
        EXPECT_EQ(field(header, 22, 2), 1u);
        EXPECT_EQ(field(header, 24, 4), c.rate);
        EXPECT_EQ(field(header, 28, 4), c.byte_rate);
        EXPECT_EQ(field(header, 32, 2), c.align);
        EXPECT_EQ(field(header, 34, 2), c.bits);
        EXPECT_EQ(field(header, 40, 4), c.data_size);
    }
}

TEST_F(header_writer, declares_an_unknown_size_for_4_gib_and_more)
{
    const struct {
        std::uint32_t bits;
        std::int64_t frames;
    } cases[] = {
        {16, (0xFFFFFFFFLL - 36) / 2 + 1},  // data size + 36 is one past 32 bits
        {24, (0xFFFFFFFFLL - 36) / 3 + 1},
        {16, 0x80000000LL},                 // exactly 4 GiB of samples
        {24, 3000000000LL},                 // a long take: 9 GB
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bits << " bits, " << c.frames << " frames");
        const Bytes header = write(48000, c.bits, c.frames);
        EXPECT_EQ(field(header, 4, 4), 0xFFFFFFFFu);
        EXPECT_EQ(field(header, 40, 4), 0xFFFFFFFFu);
    }
}

TEST_F(header_writer, truncates_an_existing_file)
{
    test::write_file(at("out.wav"), test::pattern(5000));
    EXPECT_EQ(write(44100, 16, 10).size(), 44u);
}

TEST_F(header_writer, ends_the_process_when_the_output_cannot_be_created)
{
    const std::string path = at("missing/out.wav");
    EXPECT_EXIT((dup2(2, 1), MAKE_HEADER(path.c_str(), 44100, 16, 10)), testing::ExitedWithCode(2),
                "^Unable to open file.\n$");
}

TEST_F(header_writer, ends_the_process_when_the_header_cannot_be_written)
{
    EXPECT_EXIT((dup2(2, 1), MAKE_HEADER("/dev/full", 44100, 16, 10)), testing::ExitedWithCode(2),
                "^Unable to write file.\n$");
}

}  // namespace
