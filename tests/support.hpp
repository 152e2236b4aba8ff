// Helpers shared by the tests: byte builders, files, and running the program.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace test {

using Bytes = std::vector<unsigned char>;

// value as size little-endian bytes.
Bytes le(std::uint64_t value, int size);

// The size-byte little-endian field at offset, read independently of the
// program's own helpers.
std::uint64_t field(const Bytes& bytes, std::size_t offset, int size);

Bytes text(const std::string& characters);

Bytes operator+(Bytes a, const Bytes& b);

// A canonical 44-byte PCM header: RIFF, a 16-byte format chunk, data.
Bytes wav_header(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits, std::uint32_t data_size);

// A chunk with its tag and size field, padded to an even length.
Bytes chunk(const std::string& tag, const Bytes& body);

// Deterministic bytes that differ from frame to frame and channel to channel.
Bytes pattern(std::size_t count, unsigned seed = 1);

// The samples of one channel (0 left, 1 right) of whole stereo frames.
Bytes channel_of(const Bytes& samples, int bytes_per_sample, int channel);

// A canonical stereo source holding the given sample bytes.
Bytes stereo_wav(std::uint16_t bits, const Bytes& samples, std::uint32_t rate = 44100);

// What an output must hold: a mono header declaring the samples, then them.
Bytes mono_wav(std::uint16_t bits, const Bytes& samples, std::uint32_t rate = 44100);

void write_file(const std::string& path, const Bytes& bytes);
Bytes read_file(const std::string& path);
bool exists(const std::string& path);

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

// Runs the built program in folder with args and input as its standard input.
Outcome run(const std::string& folder, const std::vector<std::string>& args, const std::string& input = "");

// Runs command through the shell in folder, capturing both outputs.
Outcome shell(const std::string& folder, const std::string& command);

// Whether a program of that name is on the PATH.
bool have(const std::string& program);

// A fresh folder for each test, removed afterwards.
class InFolder : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    std::string at(const std::string& name) const { return folder + "/" + name; }
    Outcome split(const std::vector<std::string>& args, const std::string& input = "") const
    {
        return run(folder, args, input);
    }
    std::string folder;
};

}  // namespace test
