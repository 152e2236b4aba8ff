// Whole runs on well-formed sources: the bytes of both outputs.
#include <gtest/gtest.h>

#include "support.hpp"

namespace {

using test::Bytes;
using test::operator+;
using test::channel_of;
using test::chunk;
using test::le;
using test::mono_wav;
using test::pattern;
using test::text;

class splitting : public test::InFolder {
protected:
    // Runs on take.wav and expects "done" with both outputs as given.
    void expect_outputs(const Bytes& left, const Bytes& right, const std::vector<std::string>& args = {"take.wav"})
    {
        const test::Outcome r = split(args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "done\n");
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(test::read_file(at("takeL.wav")), left);
        EXPECT_EQ(test::read_file(at("takeR.wav")), right);
    }
};

TEST_F(splitting, typical_run)
{
    const Bytes samples = pattern(4000);
    test::write_file(at("take.wav"), test::stereo_wav(16, samples));
    expect_outputs(mono_wav(16, channel_of(samples, 2, 0)), mono_wav(16, channel_of(samples, 2, 1)));
    EXPECT_EQ(test::read_file(at("takeL.wav")).size(), 2044u);
}

TEST_F(splitting, copies_each_channel_for_every_block_size)
{
    // Around the 1024-frame block: empty, one frame, one block, two blocks,
    // two blocks and a part.
    for (int bits : {16, 24}) {
        for (int frames : {0, 1, 1023, 1024, 1025, 2048, 2500}) {
            SCOPED_TRACE(testing::Message() << bits << " bits, " << frames << " frames");
            const int s = bits / 8;
            const Bytes samples = pattern(static_cast<std::size_t>(frames) * 2 * s, static_cast<unsigned>(frames));
            const std::uint32_t rate = bits == 16 ? 44100 : 96000;
            test::write_file(at("take.wav"), test::stereo_wav(static_cast<std::uint16_t>(bits), samples, rate));
            const Bytes left = channel_of(samples, s, 0);
            expect_outputs(mono_wav(static_cast<std::uint16_t>(bits), left, rate),
                           mono_wav(static_cast<std::uint16_t>(bits), channel_of(samples, s, 1), rate));
            EXPECT_EQ(left.size(), static_cast<std::size_t>(frames) * s);
        }
    }
}

TEST_F(splitting, moves_24_bit_samples_as_whole_bytes)
{
    const Bytes frame = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06};
    test::write_file(at("take.wav"), test::stereo_wav(24, frame, 48000));
    expect_outputs(mono_wav(24, {0x01, 0x02, 0x03}, 48000), mono_wav(24, {0x04, 0x05, 0x06}, 48000));
}

TEST_F(splitting, leaves_out_a_trailing_partial_frame)
{
    for (int bits : {16, 24}) {
        for (int stray = 1; stray < bits / 4; ++stray) {
            SCOPED_TRACE(testing::Message() << bits << " bits, " << stray << " stray bytes");
            const int s = bits / 8;
            const Bytes samples = pattern(2500 * 2 * s);
            test::write_file(at("take.wav"), test::stereo_wav(static_cast<std::uint16_t>(bits), samples) +
                                                 pattern(static_cast<std::size_t>(stray), 9));
            expect_outputs(mono_wav(static_cast<std::uint16_t>(bits), channel_of(samples, s, 0)),
                           mono_wav(static_cast<std::uint16_t>(bits), channel_of(samples, s, 1)));
        }
    }
}

TEST_F(splitting, finds_format_and_data_among_other_chunks)
{
    const Bytes samples = pattern(600 * 6, 3);
    const Bytes format = chunk("fmt ", le(1, 2) + le(2, 2) + le(48000, 4) + le(288000, 4) + le(6, 2) + le(24, 2));
    const Bytes list = chunk("LIST", text("INFOISFT") + le(14, 4) + text("Lavf60.3.100\0\0"));
    const Bytes bext = chunk("bext", text("Take 3, room B") + Bytes(588, 0));  // broadcast recorders
    const Bytes other = chunk("fmt ", le(1, 2) + le(1, 2) + le(8000, 4) + le(16000, 4) + le(2, 2) + le(16, 2));
    const Bytes layouts[] = {
        list,                    // between format and data, as many editors write
        bext + format + list,    // ahead of the format chunk
        format + bext + other,   // a second format chunk is never looked at
    };
    for (const Bytes& between : layouts) {
        const Bytes body = text("WAVE") + (between.size() > list.size() ? Bytes{} : format) + between;
        const Bytes source = text("RIFF") + le(body.size() + 8 + samples.size(), 4) + body + chunk("data", samples);
        test::write_file(at("take.wav"), source);
        expect_outputs(mono_wav(24, channel_of(samples, 3, 0), 48000), mono_wav(24, channel_of(samples, 3, 1), 48000));
    }
}

TEST_F(splitting, copies_a_chunk_after_the_data_as_samples)
{
    const Bytes samples = pattern(100 * 4, 4);
    const Bytes trailer = chunk("id3 ", pattern(30, 5));  // 38 bytes: 9 frames and 2 left over
    const Bytes all = samples + trailer;
    test::write_file(at("take.wav"), test::stereo_wav(16, samples) + trailer);
    expect_outputs(mono_wav(16, channel_of(all, 2, 0)), mono_wav(16, channel_of(all, 2, 1)));
    EXPECT_EQ(test::read_file(at("takeL.wav")).size(), 44u + 109 * 2);
}

TEST_F(splitting, ignores_the_size_the_data_chunk_declares)
{
    // Recorders that never patch their header leave 0 or 0xFFFFFFFF there.
    const Bytes samples = pattern(3000 * 4, 6);
    for (std::uint64_t declared : {0ULL, 0xFFFFFFFFULL, 40ULL}) {
        SCOPED_TRACE(declared);
        Bytes source = test::stereo_wav(16, samples);
        const Bytes size = le(declared, 4);
        std::copy(size.begin(), size.end(), source.begin() + 40);
        test::write_file(at("take.wav"), source);
        expect_outputs(mono_wav(16, channel_of(samples, 2, 0)), mono_wav(16, channel_of(samples, 2, 1)));
    }
}

TEST_F(splitting, takes_the_first_data_tag_at_an_even_offset)
{
    // "data" inside a chunk ahead of the real one wins; the samples start 8
    // bytes behind it.
    const Bytes samples = pattern(50 * 4, 7);
    const Bytes note = chunk("note", text("xxdata....") + pattern(20, 8));  // "data" at 12 + 24 + 8 + 2 = 46
    const Bytes source = text("RIFF") + le(0, 4) + text("WAVE") +
                         chunk("fmt ", le(1, 2) + le(2, 2) + le(44100, 4) + le(176400, 4) + le(4, 2) + le(16, 2)) +
                         note + chunk("data", samples);
    test::write_file(at("take.wav"), source);
    const Bytes taken(source.begin() + 54, source.end());
    expect_outputs(mono_wav(16, channel_of(taken, 2, 0)), mono_wav(16, channel_of(taken, 2, 1)));
}

TEST_F(splitting, finds_tags_up_to_offset_15000)
{
    // A padding chunk pushes the data tag to the offset under test.
    for (const long data_at : {14998L, 15000L}) {
        SCOPED_TRACE(data_at);
        const Bytes head = test::wav_header(2, 44100, 16, 0);
        const Bytes pad = chunk("JUNK", Bytes(static_cast<std::size_t>(data_at - 36 - 8), 0));
        const Bytes samples = pattern(40, 2);
        Bytes source(head.begin(), head.begin() + 36);
        source = source + pad + chunk("data", samples);
        ASSERT_EQ(source[static_cast<std::size_t>(data_at)], 'd');
        test::write_file(at("take.wav"), source);
        expect_outputs(mono_wav(16, channel_of(samples, 2, 0)), mono_wav(16, channel_of(samples, 2, 1)));
    }
}

TEST_F(splitting, overwrites_longer_outputs_of_an_earlier_run)
{
    const Bytes samples = pattern(10 * 4);
    test::write_file(at("take.wav"), test::stereo_wav(16, samples));
    test::write_file(at("takeL.wav"), pattern(100000));
    test::write_file(at("takeR.wav"), pattern(100000));
    expect_outputs(mono_wav(16, channel_of(samples, 2, 0)), mono_wav(16, channel_of(samples, 2, 1)));
}

}  // namespace
