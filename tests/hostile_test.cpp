// Thousands of damaged and hostile sources, from a fixed seed. Each run must
// end in a known way: status 0, 1 or 2, one line of its own on standard output,
// nothing on standard error, the source untouched (checked by every run), and
// with "done" two outputs whose headers declare exactly what they hold.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <random>
#include <set>

#include "support.hpp"

namespace {

using test::Bytes;
using test::field;
using test::le;
using test::operator+;
using test::text;

const std::set<std::string> lines_of_status_1 = {
    "The file you want to convert is not a stereo track!\n",
    "24 bit or 16 bit wave files only!\n",
};
const std::set<std::string> lines_of_status_2 = {
    "Cannot find file in track list called take.wav!!\n",
    "Can't find format chunk in wave file!\n",
    "Can't find data block in wave file!\n",
    "Unable to open file.\n",
    "Unable to read file.\n",
    "Unable to write file.\n",
};

class hostile : public test::InFolder {
protected:
    // Splits source and checks the invariants; returns the status.
    int expect_sound_end(const Bytes& source)
    {
        std::filesystem::remove(at("takeL.wav"));
        std::filesystem::remove(at("takeR.wav"));
        test::write_file(at("take.wav"), source);
        const test::Outcome r = split({"take.wav"});
        ++runs;
        ++ends[std::min(r.status, 3)];
        EXPECT_EQ(r.err, "");
        if (r.status == 0) {
            EXPECT_EQ(r.out, "done\n");
            expect_whole_outputs(source.size());
        } else if (r.status == 1) {
            EXPECT_EQ(lines_of_status_1.count(r.out), 1u) << r.out;
        } else if (r.status == 2) {
            EXPECT_EQ(lines_of_status_2.count(r.out), 1u) << r.out;
        } else {
            ADD_FAILURE() << "status " << r.status << ": " << r.out << r.err;
        }
        return r.status;
    }

    void expect_whole_outputs(std::size_t source_size)
    {
        const Bytes left = test::read_file(at("takeL.wav"));
        const Bytes right = test::read_file(at("takeR.wav"));
        ASSERT_GE(left.size(), 44u);
        EXPECT_EQ(right.size(), left.size());
        for (const Bytes* output : {&left, &right}) {
            const Bytes& o = *output;
            EXPECT_EQ(Bytes(o.begin(), o.begin() + 4), text("RIFF"));
            EXPECT_EQ(field(o, 4, 4), o.size() - 8);
            EXPECT_EQ(field(o, 22, 2), 1u);
            const std::uint64_t bits = field(o, 34, 2);
            ASSERT_TRUE(bits == 16 || bits == 24) << bits;
            EXPECT_EQ(field(o, 32, 2), bits / 8);
            EXPECT_EQ(field(o, 40, 4), o.size() - 44);
            EXPECT_EQ((o.size() - 44) % (bits / 8), 0u);
            // Each output takes one sample of every frame, so half the source at most.
            EXPECT_LE(o.size() - 44, source_size / 2);
        }
    }

    // Stops a kind after a few failures rather than printing thousands.
    bool failing() const { return HasFailure() && ++reported > 5; }

    static Bytes valid(int bits, int frames, std::mt19937& random)
    {
        return test::stereo_wav(static_cast<std::uint16_t>(bits),
                                test::pattern(static_cast<std::size_t>(frames * bits / 4), random()),
                                bits == 16 ? 44100 : 48000);
    }

    // Every kind must reach each way of ending, or it tests less than it seems.
    void expect_every_status()
    {
        std::cout << "[          ] " << runs << " runs: " << ends[0] << " done, " << ends[1] << " status 1, " << ends[2]
                  << " status 2\n";
        for (int status = 0; status <= 2; ++status) EXPECT_GT(ends[status], 0) << "no run ended with " << status;
    }

    int runs = 0;
    int ends[4] = {};
    mutable int reported = 0;
};

TEST_F(hostile, headers_cut_at_every_length)
{
    std::mt19937 random(1);
    for (int bits : {16, 24}) {
        const Bytes whole = valid(bits, 8, random);
        for (std::size_t length = 0; length <= 60 && !failing(); ++length) {
            SCOPED_TRACE(testing::Message() << bits << " bits cut at " << length);
            const int status = expect_sound_end(Bytes(whole.begin(), whole.begin() + static_cast<long>(length)));
            // Whatever it tells, a cut header never passes until the data tag is whole.
            EXPECT_EQ(status == 0, length >= 40);
        }
    }
    EXPECT_EQ(runs, 122);
}

TEST_F(hostile, headers_with_bytes_replaced)
{
    std::mt19937 random(2);
    std::uniform_int_distribution<int> position(0, 47);
    std::uniform_int_distribution<int> count(1, 6);
    for (int i = 0; i < 1000 && !failing(); ++i) {
        Bytes source = valid(i % 2 ? 24 : 16, 1 + i % 3000, random);
        for (int n = count(random); n > 0; --n) source[static_cast<std::size_t>(position(random))] = random() & 0xFF;
        SCOPED_TRACE(i);
        expect_sound_end(source);
    }
    EXPECT_EQ(runs, 1000);
    expect_every_status();
}

TEST_F(hostile, random_files)
{
    std::mt19937 random(3);
    std::uniform_int_distribution<std::size_t> length(0, 4000);
    for (int i = 0; i < 500 && !failing(); ++i) {
        Bytes source(length(random));
        for (auto& byte : source) byte = static_cast<unsigned char>(random());
        // Half of them carry both tags at random even offsets, to get past the
        // scans, and half of those a stereo 16- or 24-bit format there.
        if (i % 2 && source.size() >= 64) {
            std::uniform_int_distribution<std::size_t> even(1, (source.size() - 30) / 2);
            const auto format = source.begin() + static_cast<long>(2 * even(random));
            std::copy_n("fmt ", 4, format);
            if (i % 4 == 1) {
                std::copy_n(le(2, 2).begin(), 2, format + 10);
                std::copy_n(le(i % 8 == 1 ? 16 : 24, 2).begin(), 2, format + 22);
            }
            std::copy_n("data", 4, source.begin() + static_cast<long>(2 * even(random)));
        }
        SCOPED_TRACE(i);
        expect_sound_end(source);
    }
    EXPECT_EQ(runs, 500);
    expect_every_status();
}

TEST_F(hostile, sources_declaring_huge_sizes)
{
    std::mt19937 random(4);
    std::uniform_int_distribution<std::uint32_t> huge(0x7FFFFFF0u, 0xFFFFFFFFu);
    int passed = 0;
    for (int i = 0; i < 200 && !failing(); ++i) {
        Bytes source = valid(i % 2 ? 24 : 16, 1 + i * 7, random);
        for (std::size_t at : {std::size_t{4}, std::size_t{16}, std::size_t{40}}) {
            if (random() % 2) std::copy_n(le(huge(random), 4).begin(), 4, source.begin() + static_cast<long>(at));
        }
        SCOPED_TRACE(i);
        passed += expect_sound_end(source) == 0;
    }
    EXPECT_EQ(runs, 200);
    EXPECT_EQ(passed, 200) << "declared sizes are not consulted";
}

TEST_F(hostile, tags_where_they_are_not_looked_for)
{
    // A format chunk and a data tag on zero filler, each at an odd offset or
    // past 15000 in turn.
    std::mt19937 random(5);
    std::uniform_int_distribution<long> near(1, 7000);
    std::uniform_int_distribution<long> far(7501, 9000);
    const Bytes format = text("fmt ") + le(16, 4) + le(1, 2) + le(2, 2) + le(44100, 4) + le(176400, 4) + le(4, 2) +
                         le(16, 2);
    for (int i = 0; i < 300 && !failing(); ++i) {
        const bool format_misplaced = i % 2 == 0;
        const long odd = 2 * near(random) + 1;
        const long beyond = 2 * far(random);
        const long format_at = format_misplaced ? (i % 4 ? beyond : odd) : 2 * near(random);
        long data_at = format_misplaced ? 2 * near(random) : (i % 4 == 1 ? beyond : odd);
        if (std::abs(data_at - format_at) < 40) data_at = format_at + 41;
        Bytes source(static_cast<std::size_t>(std::max(format_at, data_at) + 200), 0);
        std::copy(format.begin(), format.end(), source.begin() + format_at);
        std::copy_n("data", 4, source.begin() + data_at);
        SCOPED_TRACE(testing::Message() << i << ": format at " << format_at << ", data at " << data_at);
        test::write_file(at("take.wav"), source);
        const test::Outcome found = split({"take.wav"});
        ++runs;
        EXPECT_EQ(found.status, 2);
        EXPECT_EQ(found.out, format_misplaced ? "Can't find format chunk in wave file!\n"
                                              : "Can't find data block in wave file!\n");
        EXPECT_EQ(found.err, "");
    }
    EXPECT_EQ(runs, 300);
}

}  // namespace
