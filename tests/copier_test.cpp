// The channel copier on its own, for what a whole run cannot reach.
#include <gtest/gtest.h>
#include <unistd.h>

#include "copy/copy.hpp"
#include "support.hpp"

namespace {

using test::Bytes;
using test::operator+;

class copier : public test::InFolder {};

TEST_F(copier, appends_behind_what_the_output_holds)
{
    const Bytes samples = test::pattern(3000 * 6);
    const Bytes header = test::pattern(44, 5);
    const struct {
        int channel;
        int picked;
    } cases[] = {{0, 0}, {1, 1}, {2, 0}, {-1, 0}};  // anything but 1 is the left channel
    test::write_file(at("take.wav"), test::stereo_wav(24, samples));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.channel);
        test::write_file(at("out.wav"), header);
        COPY_DATA(at("take.wav").c_str(), at("out.wav").c_str(), 44, c.channel, 24);
        EXPECT_EQ(test::read_file(at("out.wav")), header + test::channel_of(samples, 3, c.picked));
    }
}

TEST_F(copier, appends_nothing_from_at_or_beyond_the_end)
{
    test::write_file(at("take.wav"), test::stereo_wav(16, test::pattern(400)));
    for (std::int64_t offset : {444, 445, 10000}) {
        test::write_file(at("out.wav"), test::pattern(44, 5));
        COPY_DATA(at("take.wav").c_str(), at("out.wav").c_str(), offset, 0, 16);
        EXPECT_EQ(test::read_file(at("out.wav")), test::pattern(44, 5)) << offset;
    }
}

TEST_F(copier, reports_a_source_shorter_than_it_measured)
{
    // sysfs files measure 4096 bytes and hold a few: the same as a source
    // that shrank between the measurement and the reads.
    const char* shrinking = "/sys/devices/system/cpu/online";
    if (!test::exists(shrinking)) GTEST_SKIP() << shrinking << " is missing: no sysfs here";
    const std::string out = at("out.wav");
    EXPECT_EXIT((dup2(2, 1), COPY_DATA(shrinking, out.c_str(), 0, 0, 16)), testing::ExitedWithCode(2),
                "^Unable to read file.\n$");
}

TEST_F(copier, reports_files_it_cannot_open)
{
    test::write_file(at("take.wav"), test::stereo_wav(16, test::pattern(400)));
    const std::string source = at("take.wav");
    const std::string missing = at("missing/out.wav");
    EXPECT_EXIT((dup2(2, 1), COPY_DATA(source.c_str(), missing.c_str(), 44, 0, 16)), testing::ExitedWithCode(2),
                "^Unable to open file.\n$");
    EXPECT_EXIT((dup2(2, 1), COPY_DATA(missing.c_str(), source.c_str(), 44, 0, 16)), testing::ExitedWithCode(2),
                "^Unable to open file.\n$");
    EXPECT_EQ(test::read_file(source), test::stereo_wav(16, test::pattern(400)));
}

TEST_F(copier, reports_a_full_disk)
{
    test::write_file(at("take.wav"), test::stereo_wav(16, test::pattern(400)));
    const std::string source = at("take.wav");
    EXPECT_EXIT((dup2(2, 1), COPY_DATA(source.c_str(), "/dev/full", 44, 1, 16)), testing::ExitedWithCode(2),
                "^Unable to write file.\n$");
}

}  // namespace
