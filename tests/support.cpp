#include "support.hpp"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

namespace test {

Bytes le(std::uint64_t value, int size)
{
    Bytes bytes;
    for (int i = 0; i < size; ++i) bytes.push_back(static_cast<unsigned char>(value >> (8 * i)));
    return bytes;
}

std::uint64_t field(const Bytes& bytes, std::size_t offset, int size)
{
    std::uint64_t value = 0;
    for (int i = size - 1; i >= 0; --i) value = value << 8 | bytes.at(offset + static_cast<std::size_t>(i));
    return value;
}

Bytes text(const std::string& characters) { return Bytes(characters.begin(), characters.end()); }

Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes wav_header(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits, std::uint32_t data_size)
{
    const std::uint32_t align = channels * (bits / 8);
    return text("RIFF") + le(data_size + 36ULL, 4) + text("WAVE") + text("fmt ") + le(16, 4) + le(1, 2) +
           le(channels, 2) + le(rate, 4) + le(std::uint64_t{rate} * align, 4) + le(align, 2) + le(bits, 2) +
           text("data") + le(data_size, 4);
}

Bytes chunk(const std::string& tag, const Bytes& body)
{
    Bytes bytes = text(tag) + le(body.size(), 4) + body;
    if (body.size() % 2 != 0) bytes.push_back(0);
    return bytes;
}

Bytes pattern(std::size_t count, unsigned seed)
{
    Bytes bytes(count);
    std::uint32_t state = seed * 2654435761u + 1;
    for (auto& byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<unsigned char>(state >> 24);
    }
    return bytes;
}

Bytes channel_of(const Bytes& samples, int bytes_per_sample, int channel)
{
    Bytes picked;
    const std::size_t frame = 2 * bytes_per_sample;
    for (std::size_t at = 0; at + frame <= samples.size(); at += frame) {
        const auto first = samples.begin() + static_cast<long>(at + channel * bytes_per_sample);
        picked.insert(picked.end(), first, first + bytes_per_sample);
    }
    return picked;
}

Bytes stereo_wav(std::uint16_t bits, const Bytes& samples, std::uint32_t rate)
{
    return wav_header(2, rate, bits, static_cast<std::uint32_t>(samples.size())) + samples;
}

Bytes mono_wav(std::uint16_t bits, const Bytes& samples, std::uint32_t rate)
{
    return wav_header(1, rate, bits, static_cast<std::uint32_t>(samples.size())) + samples;
}

void write_file(const std::string& path, const Bytes& bytes)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!file.flush()) ADD_FAILURE() << "cannot write " << path;
}

Bytes read_file(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

bool exists(const std::string& path)
{
    std::error_code ignored;
    return std::filesystem::exists(std::filesystem::symlink_status(path, ignored));
}

namespace {

std::string slurp(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// The bytes of the file at path, or nothing when it is not a regular file.
std::optional<Bytes> snapshot(const std::string& path)
{
    std::error_code ignored;
    if (!std::filesystem::is_regular_file(path, ignored)) return std::nullopt;
    return read_file(path);
}

// What a finished child left: its status (128 + signal when killed) and the
// captures in io, which are then removed.
Outcome collect(int raw, const std::string& io)
{
    Outcome result{WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw), slurp(io + "/out"), slurp(io + "/err")};
    std::filesystem::remove_all(io);
    return result;
}

}  // namespace

Outcome run(const std::string& folder, const std::vector<std::string>& args, const std::string& input)
{
    // The captures live beside the folder, so that they never show up in it.
    const std::string io = folder + ".io";
    std::filesystem::create_directories(io);
    std::ofstream(io + "/in", std::ios::binary) << input;

    // Whatever the source is, no run may change a byte of it.
    const std::string source = args.empty() ? input.substr(0, input.find_first_of(" \t\n")) : args[0];
    const std::string source_path = !source.empty() && source[0] == '/' ? source : folder + "/" + source;
    const std::optional<Bytes> before = source.empty() ? std::nullopt : snapshot(source_path);

    std::vector<char*> argv{const_cast<char*>(MONOSPLIT_BIN)};
    for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        const int in = open((io + "/in").c_str(), O_RDONLY);
        const int out = open((io + "/out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open((io + "/err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || err < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 ||
            chdir(folder.c_str()) != 0) {
            _exit(126);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    int raw = 0;
    if (child < 0 || waitpid(child, &raw, 0) != child) ADD_FAILURE() << "cannot run " << MONOSPLIT_BIN;
    Outcome result = collect(raw, io);
    if (before) {
        EXPECT_EQ(snapshot(source_path), before) << "the run changed its source " << source;
    }
    return result;
}

Outcome shell(const std::string& folder, const std::string& command)
{
    const std::string io = folder + ".sh";
    std::filesystem::create_directories(io);
    const std::string line = "cd '" + folder + "' && ( " + command + " ) </dev/null >'" + io + "/out' 2>'" + io + "/err'";
    return collect(std::system(line.c_str()), io);
}

bool have(const std::string& program)
{
    return std::system(("command -v '" + program + "' >/dev/null 2>&1").c_str()) == 0;
}

void InFolder::SetUp()
{
    std::string templ = (std::filesystem::temp_directory_path() / "monosplit-test-XXXXXX").string();
    ASSERT_NE(mkdtemp(templ.data()), nullptr);
    folder = templ;
}

void InFolder::TearDown()
{
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

}  // namespace test
