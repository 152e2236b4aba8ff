// How outputs are named and where they go.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "driver/names.hpp"
#include "support.hpp"

namespace {

const char filename_error[] = "Filename error: looking for format of type name.wav\n";

TEST(names, cuts_the_stem_from_the_last_component)
{
    const struct {
        const char* source;
        const char* left;
        const char* right;
    } cases[] = {
        {"song.wav", "songL.wav", "songR.wav"},
        {"live.take2.wav", "liveL.wav", "liveR.wav"},
        {"song", "songL.wav", "songR.wav"},
        {".hidden.wav", "hiddenL.wav", "hiddenR.wav"},
        {"...x", "xL.wav", "xR.wav"},
        {"h", "hL.wav", "hR.wav"},
        {"./take.wav", "./takeL.wav", "./takeR.wav"},
        {"../in/take.wav", "../in/takeL.wav", "../in/takeR.wav"},
        {"sessions/day.2/take.wav", "sessions/day.2/takeL.wav", "sessions/day.2/takeR.wav"},
        {"/abs/.x.y/a.b.c", "/abs/.x.y/aL.wav", "/abs/.x.y/aR.wav"},
        {"a//b.wav", "a//bL.wav", "a//bR.wav"},
        {"my take.wav", "my takeL.wav", "my takeR.wav"},
    };
    for (const auto& c : cases) {
        std::string left, right;
        NAME_OUTPUTS(c.source, left, right);
        EXPECT_EQ(left, c.left) << c.source;
        EXPECT_EQ(right, c.right) << c.source;
    }
}

TEST(names, refuses_a_name_without_a_stem)
{
    for (const char* source : {"", ".", "...", "sub/", "sub/..", "/", "a.wav/."}) {
        std::string left, right;
        EXPECT_EXIT((dup2(2, 1), NAME_OUTPUTS(source, left, right)), testing::ExitedWithCode(2),
                    "^Filename error: looking for format of type name.wav\n$")
            << source;
    }
}

class naming : public test::InFolder {
protected:
    // Splits source (relative to the test folder, run from folder/from) and
    // expects the outputs at the given places.
    void expect_split(const std::string& from, const std::string& source, const std::string& placed,
                      const std::string& left, const std::string& right)
    {
        std::filesystem::create_directories(at(from));
        std::filesystem::create_directories(std::filesystem::path(at(placed)).parent_path());
        const test::Bytes samples = test::pattern(64);
        test::write_file(at(placed), test::stereo_wav(16, samples));
        const test::Outcome r = test::run(at(from), {source});
        EXPECT_EQ(r.status, 0) << source;
        EXPECT_EQ(r.out, "done\n") << source;
        EXPECT_EQ(test::read_file(at(left)), test::mono_wav(16, test::channel_of(samples, 2, 0))) << source;
        EXPECT_EQ(test::read_file(at(right)), test::mono_wav(16, test::channel_of(samples, 2, 1))) << source;
    }
};

TEST_F(naming, puts_the_outputs_beside_the_source)
{
    expect_split(".", "./take.wav", "take.wav", "takeL.wav", "takeR.wav");
    expect_split("out", "../in/take.wav", "in/take.wav", "in/takeL.wav", "in/takeR.wav");
    expect_split(".", "sessions/day.2/take.wav", "sessions/day.2/take.wav", "sessions/day.2/takeL.wav",
                 "sessions/day.2/takeR.wav");
    expect_split(".", "live.take2.wav", "live.take2.wav", "liveL.wav", "liveR.wav");
    expect_split(".", "song", "song", "songL.wav", "songR.wav");
    expect_split("a/b", "..//..///c/./d.wav", "c/d.wav", "c/dL.wav", "c/dR.wav");
    expect_split(".", folder + "/abs.wav", "abs.wav", "absL.wav", "absR.wav");
}

TEST_F(naming, accepts_names_of_any_length)
{
    const std::string stem(200, 's');
    const std::string deep = std::string(40, 'd') + "/" + std::string(40, 'e') + "/" + std::string(40, 'f');
    expect_split(".", stem + ".wav", stem + ".wav", stem + "L.wav", stem + "R.wav");
    expect_split(".", deep + "/" + stem + ".wav", deep + "/" + stem + ".wav", deep + "/" + stem + "L.wav",
                 deep + "/" + stem + "R.wav");
}

TEST_F(naming, refuses_a_name_without_a_stem_before_touching_a_file)
{
    std::filesystem::create_directory(at("sub"));
    for (const std::string source : {".", "...", "sub/", "sub/..", "sub/."}) {
        const test::Outcome r = split({source});
        EXPECT_EQ(r.status, 2) << source;
        EXPECT_EQ(r.out, filename_error) << source;
        EXPECT_EQ(r.err, "") << source;
    }
    EXPECT_TRUE(std::filesystem::is_empty(at("sub")));
    EXPECT_FALSE(test::exists(at("L.wav")));
}

TEST_F(naming, uses_only_the_first_argument)
{
    test::write_file(at("take.wav"), test::stereo_wav(16, test::pattern(16)));
    test::write_file(at("other.wav"), test::stereo_wav(16, test::pattern(16, 2)));
    const test::Outcome r = split({"take.wav", "other.wav", "h"});
    EXPECT_EQ(r.out, "done\n");
    EXPECT_TRUE(test::exists(at("takeL.wav")));
    EXPECT_FALSE(test::exists(at("otherL.wav")));
}

TEST_F(naming, takes_h_and_x_as_names_on_the_command_line)
{
    for (const std::string name : {"h", "x"}) {
        const test::Outcome r = split({name});
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "Cannot find file in track list called " + name + "!!\n");
    }
}

}  // namespace
