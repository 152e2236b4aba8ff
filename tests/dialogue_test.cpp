// The prompt a user meets when no name is given.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "support.hpp"

namespace {

const std::string first_prompt = "\nEnter the name of .wav file or 'h' for help: ";
const std::string second_prompt = "\nEnter the name of .wav file or 'x' to exit: ";

class dialogue : public test::InFolder {
protected:
    void SetUp() override
    {
        test::InFolder::SetUp();
        samples = test::pattern(400);
        test::write_file(at("take.wav"), test::stereo_wav(16, samples));
    }
    // The help screen as printed between the two prompts.
    std::string help()
    {
        const std::string out = split({}, "h\nx\n").out;
        if (out.size() < first_prompt.size() + second_prompt.size()) return "";
        return out.substr(first_prompt.size(), out.size() - first_prompt.size() - second_prompt.size());
    }
    test::Bytes samples;
};

TEST_F(dialogue, answers_each_input_as_a_user_expects)
{
    const struct {
        const char* input;
        int status;
        std::string after_prompts;
        bool help_shown;
        bool split_done;
    } cases[] = {
        {"take.wav\n", 0, "done\n", false, true},
        {"   take.wav   other.wav\n", 0, "done\n", false, true},
        {"take.wav", 0, "done\n", false, true},  // no line break before the end of input
        {"h\nx\n", 1, "", true, false},
        {"h\ntake.wav\n", 0, "done\n", true, true},
        {"h\nh\n", 2, "Cannot find file in track list called h!!\n", true, false},
        {"h\nX\n", 2, "Cannot find file in track list called X!!\n", true, false},
        {"H\n", 2, "Cannot find file in track list called H!!\n", false, false},
        {"x\n", 2, "Cannot find file in track list called x!!\n", false, false},
        {"...\n", 2, "Filename error: looking for format of type name.wav\n", false, false},
        // End of input at either prompt: the user left.
        {"", 1, "\n", false, false},
        {" \n\t\n", 1, "\n", false, false},
        {"h\n", 1, "\n", true, false},
    };
    const std::string help_text = help();
    ASSERT_FALSE(help_text.empty());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        std::filesystem::remove(at("takeL.wav"));
        std::filesystem::remove(at("takeR.wav"));
        const test::Outcome r = split({}, c.input);
        const std::string prompts = c.help_shown ? first_prompt + help_text + second_prompt : first_prompt;
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out, prompts + c.after_prompts);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(test::exists(at("takeL.wav")), c.split_done);
        if (c.split_done) {
            EXPECT_EQ(test::read_file(at("takeR.wav")), test::mono_wav(16, test::channel_of(samples, 2, 1)));
        }
    }
}

TEST_F(dialogue, help_fits_one_screen_and_says_what_a_user_needs)
{
    const std::string text = help();
    EXPECT_LE(std::count(text.begin(), text.end(), '\n'), 20);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
    for (const char* needed : {"takeL.wav", "takeR.wav", "16", "24", "overwritten", "'x'", "0", "1", "2",
                               "monosplit " MONOSPLIT_VERSION "\n"}) {
        EXPECT_NE(text.find(needed), std::string::npos) << needed;
    }
}

TEST_F(dialogue, accepts_a_long_name_at_the_prompt)
{
    const std::string stem(150, 'n');
    test::write_file(at(stem + ".wav"), test::stereo_wav(16, samples));
    const test::Outcome r = split({}, stem + ".wav\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(test::read_file(at(stem + "L.wav")), test::mono_wav(16, test::channel_of(samples, 2, 0)));
}

}  // namespace
