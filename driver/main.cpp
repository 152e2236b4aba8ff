// monosplit: splits a stereo WAV file into one mono WAV file per channel.
#include <cctype>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "common/fail.hpp"
#include "common/identity.hpp"
#include "copy/copy.hpp"
#include "driver/names.hpp"
#include "wav/header.hpp"

namespace {

const char help[] =
    "\n"
    "monosplit splits a stereo WAV file into two mono WAV files, one per channel.\n"
    "\n"
    "Give the source as the argument (monosplit take.wav) or type its name at\n"
    "the prompt as one word: a blank ends it, so give a name with blanks as the\n"
    "argument. The outputs go beside the source, named after it up to its first\n"
    "'.' (any '.' at its very start skipped): take.wav gives takeL.wav (left\n"
    "channel) and takeR.wav (right channel), overwriting files of those names.\n"
    "\n"
    "It accepts stereo WAV files of 16 or 24 bits per sample; the samples are\n"
    "copied unchanged behind a 44-byte mono PCM header.\n"
    "\n"
    "Exit status: 0 both outputs written; 1 you left, or the source is not\n"
    "16- or 24-bit stereo; 2 a problem with a name, a file or its chunks.\n"
    "\n"
    "Type 'x' at the next prompt to leave.\n"
    "monosplit " MONOSPLIT_VERSION "\n";

// No path Linux accepts is longer than this, so a longer word cannot name a
// file. Reading on would let endless input take all memory.
constexpr std::size_t longest_path = 4096;

// One whitespace-delimited word from standard input. Input that ends before
// a word is a user who left.
void READ_WORD(std::string& word)
{
    // The prompt has no line break to flush it.
    (void)std::fflush(stdout);
    int c;
    while ((c = std::getchar()) != EOF && std::isspace(c)) {}
    if (c == EOF) Fail(1, "");
    word.clear();
    do {
        if (word.size() == longest_path) Fail(2, bad_name);
        word.push_back(static_cast<char>(c));
    } while ((c = std::getchar()) != EOF && !std::isspace(c));
}

void ASK_NAME(std::string& source)
{
    std::printf("\nEnter the name of .wav file or 'h' for help: ");
    READ_WORD(source);
    if (source != "h") return;
    (void)std::fputs(help, stdout);
    std::printf("\nEnter the name of .wav file or 'x' to exit: ");
    READ_WORD(source);
    if (source == "x") std::exit(1);
}

// Whole stereo frames from the data offset to the end of the samples, in the
// file the header was read from. A source that ends inside its data chunk's
// header holds none.
void COUNT_FRAMES(const std::string& source, const File_id& id, std::int64_t data_offset, std::uint64_t declared,
                  std::int64_t frame_bytes, std::int64_t& frames)
{
    // Opened only as the file noted, unchanged: its size is the one noted.
    std::FILE* in = Open_source(source.c_str(), &id, nullptr, nullptr);
    const std::int64_t end = Samples_end(in, Size_of(id), data_offset, declared);
    (void)std::fclose(in);
    if (end < 0) Fail(2, unable_to_read);
    frames = end > data_offset ? (end - data_offset) / frame_bytes : 0;
}

}  // namespace

int main(int argc, char** argv)
{
    // An output that is a pipe or FIFO whose reader has left is an output
    // that can't be written, which the copy reports: the process must not
    // die of it without a line.
    (void)std::signal(SIGPIPE, SIG_IGN);

    std::string source;
    if (argc > 1)
        source = argv[1];
    else
        ASK_NAME(source);

    std::string left;
    std::string right;
    NAME_OUTPUTS(source, left, right);

    // Slot 0 holds the layout the split follows, slot 1 the same read once
    // more when both channels are copied.
    constexpr std::size_t slots = 2;
    std::uint32_t channel_counts[slots];
    std::int64_t data_offsets[slots];
    std::uint64_t data_sizes[slots];
    std::uint32_t sample_rates[slots];
    std::uint32_t bytes_per_sample[slots];
    std::uint32_t bits_per_sample[slots];
    File_id source_ids[slots];
    GET_ATTRIBUTES(0, source.c_str(), channel_counts, data_offsets, data_sizes, sample_rates, bytes_per_sample,
                   bits_per_sample, source_ids);

    const std::int64_t frame_bytes = std::int64_t{bytes_per_sample[0]} * channel_counts[0];
    std::int64_t frames = 0;
    COUNT_FRAMES(source, source_ids[0], data_offsets[0], data_sizes[0], frame_bytes, frames);

    // Writing an output that is the source would truncate the source before a
    // sample of it was read, and two outputs that are one file would hold a
    // mix of both channels. The left output is claimed first, which creates
    // it, so that a right one linked to it counts.
    if (Same_file(left.c_str(), source.c_str()) || Same_file(right.c_str(), source.c_str()))
        Fail(2, unable_to_open);
    Claim_output(left.c_str());
    if (Same_file(left.c_str(), right.c_str())) Fail(2, unable_to_open);
    Claim_output(right.c_str());
    File_id left_id{};
    File_id right_id{};
    MAKE_HEADER(left.c_str(), sample_rates[0], bits_per_sample[0], frames, left_id);
    MAKE_HEADER(right.c_str(), sample_rates[0], bits_per_sample[0], frames, right_id);
    const auto bits = static_cast<std::int32_t>(bits_per_sample[0]);
    std::optional<Frames_digest> frames_digest;
    COPY_DATA(source.c_str(), source_ids[0], left.c_str(), left_id, data_offsets[0], frames, 0, bits,
              mono_header_length, frames_digest);
    COPY_DATA(source.c_str(), source_ids[0], right.c_str(), right_id, data_offsets[0], frames, 1, bits,
              mono_header_length, frames_digest);

    // Both copies read the same frames, but from where the header said they
    // are: a rewrite of the header, of the chunks ahead of the samples or of
    // the bytes behind them that end them, made before the copies read, moves
    // every sample the same way for both. So the layout is read once more.
    CHECK_ATTRIBUTES(source.c_str(), channel_counts, data_offsets, data_sizes, sample_rates, bytes_per_sample,
                     bits_per_sample, source_ids);
    std::int64_t frames_now = 0;
    COUNT_FRAMES(source, source_ids[0], data_offsets[1], data_sizes[1], frame_bytes, frames_now);
    if (frames_now != frames) Fail(2, unable_to_read);

    // What each output holds is what this run wrote, unless another writer
    // came between, which the claims keep other splits from being.
    const std::int64_t output_size = mono_header_length + frames * bytes_per_sample[0];
    if (!Is_output(left.c_str(), left_id, output_size) || !Is_output(right.c_str(), right_id, output_size))
        Fail(2, unable_to_write);

    // Both outputs are whole by now. A failure to show the line (standard
    // output closed early) leaves the status saying how the run went.
    (void)std::puts("done");
    return 0;
}
