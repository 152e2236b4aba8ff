// The reader follows the source's chunk list, as far as it can be followed,
// and looks at even offsets where it can't; it reads the first bytes of the
// file at once, where nearly every file has both chunks it needs. The writer
// lays out one fixed 44-byte header.
#include "wav/header.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "common/fail.hpp"
#include "common/widths.hpp"
#include "wav/fields.hpp"

namespace {

// A chunk is an id of 4 printable characters, a 32-bit size and a body of that
// size padded to an even length. The first starts behind the 12-byte RIFF
// header, whose size field could spell any tag by chance.
constexpr std::int64_t first_chunk = 12;
constexpr std::int64_t size_at = 4;
constexpr std::int64_t body_at = 8;

// The format fields read, counted from the format chunk's id, and the end of
// the last of them.
constexpr std::int64_t channels_at = 10;
constexpr std::int64_t rate_at = 12;
constexpr std::int64_t bits_at = 22;
constexpr std::int64_t format_end = 24;

// What a writer leaves in a size it never came back to fill in; in an RF64
// file, the sign to look for the true size in its ds64 chunk, the first one,
// whose body holds the RIFF size and then the data size, 64 bits each.
constexpr std::uint32_t unknown_size = 0xFFFFFFFF;
constexpr std::int64_t rf64_data_size_at = first_chunk + body_at + 8;

// The chunk list is followed wherever it leads, through its first 1000 chunks
// at most, so that a file of tiny chunks can't make the run slow. Where it
// can't be followed, the tags are looked for at even offsets up to 15000.
constexpr int most_chunks = 1000;
constexpr std::int64_t last_probe = 15000;

// Read at once: everything the scan, and the fields of a format chunk it
// finds, can reach.
constexpr std::int64_t window = last_probe + format_end;

// A bare ID3v1 tag, which taggers append to any file: "TAG" and 125 bytes.
constexpr std::int64_t id3v1_length = 128;

bool Is_chunk_id(const unsigned char* id)
{
    return std::all_of(id, id + 4, [](unsigned char c) { return c >= 0x20 && c <= 0x7E; });
}

// Up to n bytes of the source from offset at, from head (the got bytes the
// source starts with) where it holds them all; fewer where the file ends.
std::size_t Fetch(std::FILE* in, const unsigned char* head, std::size_t got, std::int64_t at, unsigned char* bytes,
                  std::size_t n)
{
    if (at + static_cast<std::int64_t>(n) <= static_cast<std::int64_t>(got)) {
        std::memcpy(bytes, head + at, n);
        return n;
    }
    if (fseeko(in, static_cast<off_t>(at), SEEK_SET) != 0) Fail(2, unable_to_read);
    const std::size_t read = std::fread(bytes, 1, n, in);
    if (std::ferror(in) != 0) Fail(2, unable_to_read);
    return read;
}

// Offset of the chunk whose id begins with tag, or -1. Following the chunk
// list keeps the letters of a tag in another chunk's body ("metadata" in a
// comment, say) from being taken for it. Where the list breaks (an id that is
// not printable, a header cut short by the end of the file) or runs past its
// 1000th chunk, the first even offset at which the tag stands whole in the
// first bytes counts, even inside another chunk.
std::int64_t Find_tag(std::FILE* in, const unsigned char* head, std::size_t got, const char* tag)
{
    const std::size_t length = std::strlen(tag);
    unsigned char chunk[body_at];
    std::int64_t at = first_chunk;
    for (int n = 0; n < most_chunks && Fetch(in, head, got, at, chunk, body_at) == body_at; ++n) {
        // Compared before the id is judged: old writers end "fmt" with a zero.
        if (std::memcmp(chunk, tag, length) == 0) return at;
        if (!Is_chunk_id(chunk)) break;
        const std::int64_t size = static_cast<std::uint32_t>(Assem4(chunk + size_at));
        at += body_at + size + size % 2;
    }
    for (std::int64_t probe = first_chunk; probe <= last_probe; probe += 2) {
        if (probe + static_cast<std::int64_t>(length) <= static_cast<std::int64_t>(got) &&
            std::memcmp(head + probe, tag, length) == 0) {
            return probe;
        }
    }
    return -1;
}

// The size of the samples that the ds64 chunk of an RF64 (or BW64) file
// declares, or 0 for none.
std::uint64_t Rf64_data_size(const unsigned char* head, std::size_t got)
{
    const bool rf64 = (std::memcmp(head, "RF64", 4) == 0 || std::memcmp(head, "BW64", 4) == 0) &&
                      std::memcmp(head + first_chunk, "ds64", 4) == 0;
    if (!rf64 || static_cast<std::int64_t>(got) < rf64_data_size_at + 8) return 0;
    const auto low = static_cast<std::uint32_t>(Assem4(head + rf64_data_size_at));
    const auto high = static_cast<std::uint32_t>(Assem4(head + rf64_data_size_at + 4));
    const std::uint64_t size = std::uint64_t{high} << 32 | low;
    return size == ~std::uint64_t{0} ? 0 : size;
}

// Ends the run as a failure of a reading of the attributes says, or, where
// the reading is one more to check the first, as a source that changed.
[[noreturn]] void Refuse(bool again, int status, const char* message)
{
    if (again) Fail(2, unable_to_read);
    Fail(status, message);
}

// The attributes of the source in, into slot index.
void Read_attributes(std::FILE* in, bool again, std::int32_t index, std::uint32_t* channel_counts,
                     std::int64_t* data_offsets, std::uint64_t* data_sizes, std::uint32_t* sample_rates,
                     std::uint32_t* bytes_per_sample, std::uint32_t* bits_per_sample)
{
    // One read of the first bytes, where nearly every file has both chunks,
    // instead of a seek and a tiny read per chunk or probe. Zeroed, so that no
    // byte past the end of a short file is ever anything but known.
    unsigned char head[window] = {};
    const std::size_t got = std::fread(head, 1, window, in);
    if (std::ferror(in) != 0) Fail(2, unable_to_read);

    // Only the first three tag bytes are compared: the fourth is a blank in
    // every writer but not in every old one.
    const std::int64_t format_at = Find_tag(in, head, got, "fmt");
    if (format_at < 0) Refuse(again, 2, no_format);
    unsigned char format[format_end];
    const auto format_got = static_cast<std::int64_t>(Fetch(in, head, got, format_at, format, format_end));

    // A field the file ends in the middle of belongs to a format chunk that is
    // not there, whatever its first bytes say.
    if (format_got < channels_at + 2) Refuse(again, 2, no_format);
    channel_counts[index] = static_cast<std::uint32_t>(Assem2(format + channels_at));
    if (channel_counts[index] != 2) Refuse(again, 1, not_stereo);

    if (format_got < bits_at + 2) Refuse(again, 2, no_format);
    bits_per_sample[index] = static_cast<std::uint32_t>(Assem2(format + bits_at));
    if (!Is_sample_width(bits_per_sample[index])) Refuse(again, 1, bad_width);
    bytes_per_sample[index] = Bytes_per_sample(bits_per_sample[index]);
    sample_rates[index] = static_cast<std::uint32_t>(Assem4(format + rate_at));

    // The data tag is looked for from the start again: some writers put it
    // ahead of a trailing format chunk.
    const std::int64_t data_at = Find_tag(in, head, got, "data");
    if (data_at < 0) Refuse(again, 2, no_data);
    unsigned char data[body_at];
    const std::size_t data_got = Fetch(in, head, got, data_at, data, body_at);
    (void)std::fclose(in);
    data_offsets[index] = data_at + body_at;
    // A file that ends inside the size declares none.
    std::uint64_t declared = data_got == body_at ? static_cast<std::uint32_t>(Assem4(data + size_at)) : 0;
    if (declared == unknown_size) declared = Rf64_data_size(head, got);
    data_sizes[index] = declared;
}

}  // namespace

void GET_ATTRIBUTES(std::int32_t index, const char* source, std::uint32_t* channel_counts,
                    std::int64_t* data_offsets, std::uint64_t* data_sizes, std::uint32_t* sample_rates,
                    std::uint32_t* bytes_per_sample, std::uint32_t* bits_per_sample, File_id* source_ids)
{
    std::FILE* in = Open_source(source, nullptr, nullptr, nullptr);
    // Noted before a byte is read, so that any change from here on is seen.
    if (!Identify(in, source_ids[index])) Fail(2, unable_to_read);
    Read_attributes(in, false, index, channel_counts, data_offsets, data_sizes, sample_rates, bytes_per_sample,
                    bits_per_sample);
}

void CHECK_ATTRIBUTES(const char* source, std::uint32_t* channel_counts, std::int64_t* data_offsets,
                      std::uint64_t* data_sizes, std::uint32_t* sample_rates, std::uint32_t* bytes_per_sample,
                      std::uint32_t* bits_per_sample, const File_id* source_ids)
{
    std::FILE* in = Open_source(source, &source_ids[0], nullptr, unable_to_open);
    Read_attributes(in, true, 1, channel_counts, data_offsets, data_sizes, sample_rates, bytes_per_sample,
                    bits_per_sample);
    if (channel_counts[1] != channel_counts[0] || data_offsets[1] != data_offsets[0] ||
        data_sizes[1] != data_sizes[0] || sample_rates[1] != sample_rates[0] ||
        bits_per_sample[1] != bits_per_sample[0]) {
        Fail(2, unable_to_read);
    }
}

std::int64_t Samples_end(std::FILE* in, std::int64_t size, std::int64_t data_offset, std::uint64_t declared)
{
    // A size of 0 is what recorders leave when they never come back to patch
    // it: the samples run to the end of the file, as they do when the size is
    // stale or past the end. A chunk header right behind the declared samples
    // (the next chunk starts at an even offset) is what tells a size that is
    // true, and so where tags and markers behind the audio begin: bytes of
    // samples almost never read as four printable characters. A bare ID3v1
    // tag, the very last 128 bytes, tells the same.
    if (declared == 0 || data_offset >= size) return size;
    const auto room = static_cast<std::uint64_t>(size - data_offset);
    if (declared > room || room - declared < body_at + declared % 2) return size;
    const auto behind = static_cast<std::int64_t>(room - declared - declared % 2);
    unsigned char id[4];
    if (fseeko(in, static_cast<off_t>(size - behind), SEEK_SET) != 0 || std::fread(id, 1, 4, in) != 4) return -1;
    const bool id3v1 = behind == id3v1_length && std::memcmp(id, "TAG", 3) == 0;
    return Is_chunk_id(id) || id3v1 ? data_offset + static_cast<std::int64_t>(declared) : size;
}

void MAKE_HEADER(const char* output, std::uint32_t sample_rate, std::uint32_t bits_per_sample,
                 std::int64_t frame_count, File_id& output_id)
{
    const std::uint32_t bytes_per_sample = Bytes_per_sample(bits_per_sample);
    const std::uint32_t byte_rate = sample_rate * bytes_per_sample;
    std::int64_t data_size = std::int64_t{bytes_per_sample} * frame_count;
    std::int64_t riff_size = mono_header_length - 8 + data_size;
    // A size that does not fit is declared unknown: ffmpeg reads such a file
    // to its end, where sox and libsndfile stop at the 4 GiB it declares. A
    // wrapped size would make all of them drop audio.
    if (riff_size > std::int64_t{unknown_size}) data_size = riff_size = unknown_size;

    unsigned char header[mono_header_length];
    std::memcpy(header + 0, "RIFF", 4);
    Decon4(riff_size, header + 4);
    std::memcpy(header + 8, "WAVE", 4);
    std::memcpy(header + 12, "fmt ", 4);
    Decon4(16, header + 16);  // format chunk body length
    Decon2(1, header + 20);   // PCM
    Decon2(1, header + 22);   // channel count
    Decon4(sample_rate, header + 24);
    Decon4(byte_rate, header + 28);
    Decon2(bytes_per_sample, header + 32);  // block align
    Decon2(bits_per_sample, header + 34);
    std::memcpy(header + 36, "data", 4);
    Decon4(data_size, header + 40);

    std::FILE* out = std::fopen(output, "wb");
    if (out == nullptr) Fail(2, unable_to_open);
    // One write of the whole header, and no buffer to set up for it.
    (void)std::setvbuf(out, nullptr, _IONBF, 0);
    const bool written = std::fwrite(header, 1, sizeof header, out) == sizeof header && Identify(out, output_id);
    if (std::fclose(out) != 0 || !written) Fail(2, unable_to_write);
}
