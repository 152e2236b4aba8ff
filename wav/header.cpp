// wav/: everything the program knows of the RIFF/WAVE container: reading the
// stereo source's header and writing the mono outputs' headers.
#include "wav/header.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "common/fail.hpp"
#include "wav/fields.hpp"

namespace {

// Tags are looked for at even offsets 12..15000. Every chunk starts at an even
// offset, the first one right behind the 12-byte RIFF header, whose size field
// at offset 4 can spell any tag by chance. The bound keeps the header read to a
// fixed size and a stray "data" deep in the samples from ever being taken.
constexpr std::int64_t first_probe = 12;
constexpr std::int64_t last_probe = 15000;

// The farthest byte ever read: bits per sample, 22 bytes past a format tag at
// the last probe, is 2 bytes long.
constexpr std::size_t window = last_probe + 24;

// Whether four bytes can be a chunk id: printable ASCII, as every id is.
bool Chunk_id(const unsigned char* id)
{
    return std::all_of(id, id + 4, [](unsigned char c) { return c >= 0x20 && c <= 0x7E; });
}

// Offset of the tag within the got bytes of head, or -1. The chunk list says
// where each chunk starts, so that the letters of a tag in another chunk's
// body ("metadata" in a description, say) are never taken for it. A list that
// can't be followed (damaged, or written by a tool that pads oddly) leaves the
// first even offset at which the tag stands whole.
std::int64_t Find_tag(const unsigned char* head, std::size_t got, const char* tag)
{
    const std::size_t length = std::strlen(tag);
    const auto end = static_cast<std::int64_t>(got);
    for (std::int64_t q = first_probe; q <= last_probe && q + 8 <= end;) {
        // Compared before the id is judged: old writers end "fmt" with a zero.
        if (std::memcmp(head + q, tag, length) == 0) return q;
        if (!Chunk_id(head + q)) break;
        const std::int64_t size = static_cast<std::uint32_t>(Assem4(head + q + 4));
        q += 8 + size + size % 2;
    }
    for (std::int64_t p = first_probe; p <= last_probe; p += 2) {
        if (p + static_cast<std::int64_t>(length) <= end && std::memcmp(head + p, tag, length) == 0) return p;
    }
    return -1;
}

}  // namespace

void GET_ATTRIBUTES(std::int32_t index, const char* source, std::uint32_t* channel_counts,
                    std::int64_t* data_offsets, std::int64_t* data_sizes, std::uint32_t* sample_rates,
                    std::uint32_t* bytes_per_sample, std::uint32_t* bits_per_sample, File_id* source_ids)
{
    // A FIFO, a socket or a terminal has no size to measure, and opening one
    // would wait for a writer that may never come. A name that cannot be
    // looked at is left to the open to report.
    namespace fs = std::filesystem;
    std::error_code unknown;
    const fs::file_status kind = fs::status(source, unknown);
    if (fs::exists(kind) && !fs::is_regular_file(kind) && !fs::is_block_file(kind)) Fail(2, "Unable to read file.");

    std::FILE* in = std::fopen(source, "rb");
    if (in == nullptr) Fail(2, "Cannot find file in track list called %s!!", source);

    // One read of everything the scans and field reads can reach, instead of a
    // seek and a tiny read per probe. Zeroed, so that no byte past the end of a
    // short file is ever anything but known.
    unsigned char head[window] = {};
    const std::size_t got = std::fread(head, 1, window, in);
    const bool unreadable = std::ferror(in) != 0 || !Identify(in, source_ids[index]);
    // Only read from: a failed close loses nothing, the bytes are in head.
    (void)std::fclose(in);
    if (unreadable) Fail(2, "Unable to read file.");

    // Only the first three tag bytes are compared: the fourth is a blank in
    // every writer but not in every old one.
    const std::int64_t p = Find_tag(head, got, "fmt");
    if (p < 0) Fail(2, "Can't find format chunk in wave file!");

    // A field the file ends in the middle of belongs to a format chunk that is
    // not there, whatever its first bytes say.
    const auto whole = [got](std::int64_t offset, std::int64_t size) {
        return offset + size <= static_cast<std::int64_t>(got);
    };
    if (!whole(p + 10, 2)) Fail(2, "Can't find format chunk in wave file!");
    channel_counts[index] = static_cast<std::uint32_t>(Assem2(head + p + 10));
    if (channel_counts[index] != 2) Fail(1, "The file you want to convert is not a stereo track!");

    if (!whole(p + 22, 2)) Fail(2, "Can't find format chunk in wave file!");
    bits_per_sample[index] = static_cast<std::uint32_t>(Assem2(head + p + 22));
    if (bits_per_sample[index] != 16 && bits_per_sample[index] != 24) {
        Fail(1, "24 bit or 16 bit wave files only!");
    }
    bytes_per_sample[index] = bits_per_sample[index] / 8;
    sample_rates[index] = static_cast<std::uint32_t>(Assem4(head + p + 12));

    // The data tag is looked for from the start again: some writers put it
    // ahead of a trailing format chunk.
    const std::int64_t d = Find_tag(head, got, "data");
    if (d < 0) Fail(2, "Can't find data block in wave file!");
    data_offsets[index] = d + 8;
    // A file that ends inside the size declares none.
    data_sizes[index] = whole(d + 4, 4) ? static_cast<std::uint32_t>(Assem4(head + d + 4)) : 0;
}

std::int64_t Samples_end(std::FILE* in, std::int64_t size, std::int64_t data_offset, std::int64_t declared)
{
    // 0 and 0xFFFFFFFF are what recorders leave when they never come back to
    // patch the size: the samples run to the end of the file, as they do when
    // the size is stale or past the end. A chunk header right behind the
    // declared samples (the next chunk starts at an even offset) is what tells
    // a size that is true, and so where tags and markers behind the audio
    // begin: bytes of samples almost never read as four printable characters.
    const std::int64_t next = data_offset + declared + declared % 2;
    if (declared == 0 || declared == 0xFFFFFFFF || next + 8 > size) return size;
    unsigned char id[4];
    if (fseeko(in, static_cast<off_t>(next), SEEK_SET) != 0 || std::fread(id, 1, 4, in) != 4) return -1;
    return Chunk_id(id) ? data_offset + declared : size;
}

void MAKE_HEADER(const char* output, std::uint32_t sample_rate, std::uint32_t bits_per_sample,
                 std::int64_t frame_count)
{
    const std::uint32_t bytes_per_sample = bits_per_sample / 8;
    const std::uint32_t byte_rate = sample_rate * bytes_per_sample;
    std::int64_t data_size = std::int64_t{bytes_per_sample} * frame_count;
    std::int64_t riff_size = data_size + 36;
    // A size that does not fit is declared unknown, which readers take as
    // "to the end of the file"; a wrapped size would make them drop audio.
    if (riff_size > 0xFFFFFFFF) data_size = riff_size = 0xFFFFFFFF;

    unsigned char header[44];
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
    if (out == nullptr) Fail(2, "Unable to open file.");
    const bool written = std::fwrite(header, 1, sizeof header, out) == sizeof header;
    if (std::fclose(out) != 0 || !written) Fail(2, "Unable to write file.");
}
