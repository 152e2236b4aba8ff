// Runs that meet a fault on the way: outputs that cannot be written, outputs
// that are the source, sources cut short.
#include <gtest/gtest.h>

#include <filesystem>

#include "support.hpp"

namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::operator+;

class faults : public test::InFolder {
protected:
    void SetUp() override
    {
        test::InFolder::SetUp();
        source = test::stereo_wav(24, test::pattern(5000 * 6));
        test::write_file(at("take.wav"), source);
    }
    void expect_failure(const std::string& message)
    {
        const test::Outcome r = split({"take.wav"});
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, message);
        EXPECT_EQ(r.err, "");
    }
    Bytes source;
};

TEST_F(faults, never_says_done_when_an_output_is_not_written_whole)
{
    // /dev/full takes the open and fails every write, as a full disk does.
    for (const char* output : {"takeL.wav", "takeR.wav"}) {
        SCOPED_TRACE(output);
        fs::remove(at("takeL.wav"));
        fs::remove(at("takeR.wav"));
        fs::create_symlink("/dev/full", at(output));
        expect_failure("Unable to write file.\n");
    }
}

TEST_F(faults, reports_an_output_that_cannot_be_created)
{
    for (const char* output : {"takeL.wav", "takeR.wav"}) {
        SCOPED_TRACE(output);
        fs::remove_all(at("takeL.wav"));
        fs::remove_all(at("takeR.wav"));
        fs::create_directory(at(output));
        expect_failure("Unable to open file.\n");
        EXPECT_TRUE(fs::is_empty(at(output)));
    }
}

TEST_F(faults, never_writes_over_the_source)
{
    // Each output in turn a link to the source, then the right a link to the left.
    const struct {
        const char* link;
        const char* target;
    } cases[] = {{"takeL.wav", "take.wav"}, {"takeR.wav", "take.wav"}, {"takeR.wav", "takeL.wav"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.link);
        fs::remove(at("takeL.wav"));
        fs::remove(at("takeR.wav"));
        if (std::string(c.target) == "takeL.wav") test::write_file(at("takeL.wav"), {});
        fs::create_symlink(c.target, at(c.link));
        expect_failure("Unable to open file.\n");
    }
    fs::remove(at("takeR.wav"));
    fs::create_hard_link(at("take.wav"), at("takeR.wav"));
    expect_failure("Unable to open file.\n");
}

TEST_F(faults, lets_a_channel_go_to_a_device)
{
    // Both outputs may be the same device: discarding a channel is a use, not a clash.
    fs::create_symlink("/dev/null", at("takeL.wav"));
    fs::create_symlink("/dev/null", at("takeR.wav"));
    const test::Outcome r = split({"take.wav"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "done\n");
}

TEST_F(faults, declares_no_samples_for_a_source_cut_inside_its_data_header)
{
    // Cut 0 to 8 bytes behind the data tag: the data offset lies at or beyond the end.
    for (std::size_t cut = 40; cut <= 44; ++cut) {
        for (std::uint16_t bits : {16, 24}) {
            SCOPED_TRACE(testing::Message() << bits << " bits, cut at " << cut);
            const Bytes whole = test::stereo_wav(bits, test::pattern(60));
            test::write_file(at("take.wav"), Bytes(whole.begin(), whole.begin() + static_cast<long>(cut)));
            const test::Outcome r = split({"take.wav"});
            EXPECT_EQ(r.status, 0);
            EXPECT_EQ(r.out, "done\n");
            EXPECT_EQ(test::read_file(at("takeL.wav")), test::mono_wav(bits, {}));
            EXPECT_EQ(test::read_file(at("takeR.wav")), test::mono_wav(bits, {}));
        }
    }
}

}  // namespace
