// Sources written by sox and ffmpeg, split, then read back by sox and
// libsndfile and compared with sox's own channel extraction.
#include <gtest/gtest.h>

#include <string>

#include "support.hpp"

namespace {

using test::Bytes;

struct Source {
    const char* name;
    const char* make;  // shell command run in the test folder
    int bits;
    int rate;
};

// Left and right differ in every source: a tone on one side, noise on the other.
const Source sources[] = {
    {"sox16.wav", "sox -n -r 44100 -b 16 -c 2 sox16.wav synth 0.61 sine 440 whitenoise", 16, 44100},
    // sox writes samples wider than 16 bits as WAVE_FORMAT_EXTENSIBLE, with a fact chunk
    {"sox24.wav", "sox -n -r 48000 -b 24 -c 2 sox24.wav synth 0.53 pinknoise sine 1000", 24, 48000},
    {"sox96.wav", "sox -n -r 96000 -b 24 -c 2 sox96.wav synth 0.29 sine 300 brownnoise", 24, 96000},
    // ffmpeg adds a LIST chunk between the format and the data
    {"ff16.wav",
     "ffmpeg -v error -f lavfi -i sine=f=440:d=0.47:r=44100 -f lavfi -i anoisesrc=d=0.47:r=44100 "
     "-filter_complex amerge=inputs=2 -c:a pcm_s16le ff16.wav",
     16, 44100},
    {"ff24.wav",
     "ffmpeg -v error -f lavfi -i sine=f=660:d=0.51:r=48000 -f lavfi -i anoisesrc=d=0.51:r=48000:c=pink "
     "-filter_complex amerge=inputs=2 -c:a pcm_s24le ff24.wav",
     24, 48000},
    {"ffbext.wav",
     "ffmpeg -v error -f lavfi -i sine=f=880:d=0.33:r=48000 -f lavfi -i anoisesrc=d=0.33:r=48000 "
     "-filter_complex amerge=inputs=2 -c:a pcm_s16le -write_bext 1 ffbext.wav",
     16, 48000},
};

class peers : public test::InFolder {
protected:
    void SetUp() override
    {
        test::InFolder::SetUp();
        std::string missing;
        for (const char* tool : {"sox", "soxi", "ffmpeg", "sndfile-info"}) {
            if (!test::have(tool)) missing += std::string(" ") + tool;
        }
        if (!missing.empty()) GTEST_SKIP() << "peer tools missing:" << missing;
    }

    std::string ask(const std::string& command)
    {
        const test::Outcome r = test::shell(folder, command);
        EXPECT_EQ(r.status, 0) << command << ": " << r.err;
        return r.out;
    }

    // Splits source (whose unpatched twin may differ in its header alone) and
    // checks both outputs against what the peers read from reference.
    void expect_split_as_peers_read(const std::string& source, const std::string& reference, int bits, int rate)
    {
        const test::Outcome r = split({source});
        ASSERT_EQ(r.status, 0) << r.out;
        ASSERT_EQ(r.out, "done\n");
        const std::string stem = source.substr(0, source.find('.'));
        const std::string frames = ask("soxi -s " + reference);
        ASSERT_NE(frames, "0\n");
        int side = 1;
        for (const std::string& output : {stem + "L.wav", stem + "R.wav"}) {
            SCOPED_TRACE(output);
            EXPECT_EQ(ask("soxi -c " + output), "1\n");
            EXPECT_EQ(ask("soxi -r " + output), std::to_string(rate) + "\n");
            EXPECT_EQ(ask("soxi -b " + output), std::to_string(bits) + "\n");
            EXPECT_EQ(ask("soxi -s " + output), frames);
            const std::string info = ask("sndfile-info " + output);
            EXPECT_NE(info.find("Channels    : 1\n"), std::string::npos) << info;
            EXPECT_NE(info.find("Sample Rate : " + std::to_string(rate) + "\n"), std::string::npos) << info;
            EXPECT_NE(info.find("Frames      : " + frames), std::string::npos) << info;

            const std::string raw = output + ".raw";
            ask("sox " + reference + " -D -t raw " + raw + " remix " + std::to_string(side++));
            const Bytes split_out = test::read_file(at(output));
            ASSERT_GT(split_out.size(), 44u);
            EXPECT_TRUE(Bytes(split_out.begin() + 44, split_out.end()) == test::read_file(at(raw)))
                << "samples differ from sox's";
        }
    }
};

TEST_F(peers, split_what_sox_and_ffmpeg_write_as_they_read_it)
{
    for (const auto& s : sources) {
        SCOPED_TRACE(s.name);
        ask(s.make);
        expect_split_as_peers_read(s.name, s.name, s.bits, s.rate);
    }
}

TEST_F(peers, split_in_full_a_source_whose_sizes_were_never_patched)
{
    // A recorder that never came back to its header leaves data size 0;
    // ffmpeg writing to a pipe cannot go back and leaves 0xFFFFFFFF.
    const Source& sox16 = sources[0];
    const Source& ff24 = sources[4];
    ask(sox16.make);
    Bytes zero = test::read_file(at(sox16.name));
    ASSERT_TRUE(zero.size() > 44 && zero[36] == 'd');
    std::fill(zero.begin() + 40, zero.begin() + 44, 0);
    test::write_file(at("zero.wav"), zero);
    expect_split_as_peers_read("zero.wav", sox16.name, sox16.bits, sox16.rate);

    ask(ff24.make);
    ask(std::string("ffmpeg -v error -i ") + ff24.name + " -c copy -f wav - > piped.wav");
    const Bytes piped = test::read_file(at("piped.wav"));
    ASSERT_EQ(Bytes(piped.begin() + 4, piped.begin() + 8), Bytes(4, 0xFF)) << "ffmpeg patched the piped file";
    expect_split_as_peers_read("piped.wav", ff24.name, ff24.bits, ff24.rate);
}

}  // namespace
