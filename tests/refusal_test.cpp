// Sources the program refuses: the one line it prints, its status, and that it
// writes nothing.
#include <gtest/gtest.h>

#include <filesystem>

#include "support.hpp"

namespace {

using test::Bytes;
using test::operator+;
using test::le;
using test::text;

const char no_format[] = "Can't find format chunk in wave file!\n";
const char no_data[] = "Can't find data block in wave file!\n";
const char not_stereo[] = "The file you want to convert is not a stereo track!\n";
const char bad_width[] = "24 bit or 16 bit wave files only!\n";

Bytes header(std::uint16_t channels, std::uint16_t bits) { return test::wav_header(channels, 44100, bits, 400); }

Bytes first(const Bytes& bytes, std::size_t count) { return Bytes(bytes.begin(), bytes.begin() + static_cast<long>(count)); }

// A source whose data tag stands at the given offset, behind a padding chunk.
Bytes data_tag_at(std::size_t offset)
{
    const Bytes pad = test::chunk("JUNK", Bytes(offset - 44, 0));
    return first(header(2, 16), 36) + pad + text("data") + le(8, 4) + test::pattern(8);
}

struct Refusal {
    const char* what;
    Bytes source;
    const char* message;
    int status;
};

class refusal : public test::InFolder {};

TEST_F(refusal, prints_one_line_and_writes_nothing)
{
    const Bytes good = test::stereo_wav(16, test::pattern(400));
    const Refusal cases[] = {
        {"empty file", {}, no_format, 2},
        {"fewer than 5 bytes", text("RIFF"), no_format, 2},
        {"no format tag", text("RIFF") + le(4, 4) + text("WAVE") + test::pattern(200, 0), no_format, 2},
        {"format tag at an odd offset", Bytes{0} + first(good, 44) + test::pattern(400), no_format, 2},
        // offset 0 is never examined: the chunk list there would otherwise pass
        {"format tag at offset 0 only", Bytes(good.begin() + 12, good.begin() + 44) + Bytes(40, 0), no_format, 2},
        {"mono", header(1, 16) + test::pattern(400), not_stereo, 1},
        {"six channels", header(6, 24) + test::pattern(400), not_stereo, 1},
        {"8 bits", header(2, 8) + test::pattern(400), bad_width, 1},
        {"32 bits", header(2, 32) + test::pattern(400), bad_width, 1},
        {"20 bits", header(2, 20) + test::pattern(400), bad_width, 1},
        {"no data tag", first(good, 36) + test::chunk("JUNK", Bytes(400, 0)), no_data, 2},
        {"data tag at 15002", data_tag_at(15002), no_data, 2},
        {"data tag at an odd offset", first(good, 36) + Bytes{0} + text("data") + le(8, 4) + Bytes(9, 0), no_data, 2},
        {"ends in \"dat\" at an even offset", first(good, 36) + text("dat"), no_data, 2},
        // A format chunk cut off by the end of the file.
        {"cut inside the channel count", first(good, 23), no_format, 2},
        {"mono, cut inside the channel count", first(header(1, 16), 23), no_format, 2},
        {"cut inside bits per sample", first(good, 35), no_format, 2},
        {"mono, cut after the channel count", first(header(1, 16), 24), not_stereo, 1},
        {"cut right after the format chunk", first(good, 36), no_data, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::write_file(at("take.wav"), c.source);
        const test::Outcome r = split({"take.wav"});
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out, c.message);
        EXPECT_EQ(r.err, "");
        EXPECT_FALSE(test::exists(at("takeL.wav")));
        EXPECT_FALSE(test::exists(at("takeR.wav")));
    }
}

TEST_F(refusal, reports_a_source_that_is_not_there)
{
    const test::Outcome r = split({"nothere.wav"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "Cannot find file in track list called nothere.wav!!\n");
    EXPECT_EQ(r.err, "");
    EXPECT_FALSE(test::exists(at("nothereL.wav")));
}

TEST_F(refusal, reports_a_source_that_cannot_be_read)
{
    std::filesystem::create_directory(at("take.wav"));
    const test::Outcome r = split({"take.wav"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "Unable to read file.\n");
    EXPECT_EQ(r.err, "");
    EXPECT_FALSE(test::exists(at("takeL.wav")));
}

}  // namespace
