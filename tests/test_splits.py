# Sources as writers leave them and as they come damaged: where the samples start and end, and which line ends a
# split that can't be made.
from harness import *

NOTE = chunk(b"note", b"..data")  # "data" at an even offset in a chunk's body
T = "$B take.wav o.wav h"  # a split; the arguments after the first are ignored
# The copier moves 768 KiB of frames a block (196608 of 16 bits, 131072 of 24), the first short by the frames that
# bring the output from its 44-byte header to a 4 KiB page boundary: 2026 of 16 bits, 2716 of 24. Frame counts at
# the edges of the first block, of the next and of several:
EDGES = {16: (0, 1, 2025, 2026, 2027, 198634, 395247), 24: (0, 1, 2715, 2716, 2717, 133788, 264865)}
for bits in 16, 24:
    for n in EDGES[bits]:  # and a partial frame behind them
        testing(f"{n} frames of {bits} bits", T, (DONE, 0), wav(2, bits, noise(n * bits // 4)) + b"s" * (n % 4))

size0 = wav(2, 24, b"abcd" + noise(596), size=0) + b"id3 \0\0\0\0"
testing("a size of 0 runs to the end past samples that spell an id", T, (DONE, 0), size0)
broken = lambda at: S16[:36] + b"\1bad" + bytes(at - 40) + S16[36:]  # the data chunk at `at`, behind no chunk id
testing("data found by the scan at the last probe", T, (DONE, 0), broken(LAST_PROBE))
testing("data past the last probe behind a broken list", T, (NO_DATA, 2), broken(LAST_PROBE + 2))
testing("a data chunk header cut at the end", T, (DONE, 0), S16[:36] + NOTE + b"data" + bytes(2))
testing("a data chunk header whole at the end", T, (DONE, 0), S16[:36] + NOTE + b"data" + bytes(4))
for tag in b"fmt\0", b"fmt ", b"data":
    testing(f"a RIFF size that spells {tag}", T, (DONE, 0), S16[:4] + tag + S16[8:])

# The data chunk as the 1000th and the 1001st chunk, behind NOTE and JUNK chunks.
nth = lambda n: S16[:36] + NOTE + b"JUNK\0\0\0\0" * (n - 3) + S16[36:]
testing("data as the last chunk the walk follows", T, (DONE, 0), nth(MOST_CHUNKS))
testing("data past that: the scan takes NOTE's", T, (DONE, 0), nth(MOST_CHUNKS + 1))
ds64 = chunk(b"ds64", bytes(8) + le(2**64 - 1, 8) + bytes(12))  # RF64's sizes, the data's unknown too
unknown = wav(2, 16, b"abLIST" + noise(994), size=2**32 - 1, riff=b"RF64")  # samples that spell an id at 2
testing("an RF64 size unknown in ds64 too runs to the end", T, (DONE, 0), unknown[:12] + ds64 + unknown[12:])

# A source of 4 GiB and more, n frames of it, and what its left output declares as its RIFF and data sizes, shown
# as takeR.wav is full. The most frames of S bytes whose output's RIFF size (36 bytes and the samples) fits 32 bits
# is (2**32 - 1 - 36) // S; one more is declared unknown in both.
huge = f"truncate -s {2**32 + 44} take.wav; echo LIST >> take.wav; truncate -s $((44 + {{}})) take.wav"
huge += "; ln -s /dev/full takeR.wav; $B take.wav"
huge += "; echo $(od -An -tx4 -j4 -N4 takeL.wav) $(od -An -tx4 -j40 -N4 takeL.wav)"
for bits, sizes in (16, "fffffffe ffffffda"), (24, "ffffffff ffffffdb"):
    fits = (2**32 - 1 - 36) // (bits // 8)
    for frames, sizes in (fits, sizes), (fits + 1, "ffffffff ffffffff"):
        command, want, source = huge.format(bits // 4 * frames), (f"{WRITE}{sizes}\n", 0), wav(2, bits, b"", 0, -1)
        testing(f"{frames} frames of {bits} bits: sizes in 32 bits", command, want, source, may_lose=True)

# Cut in the RIFF header, at each edge of the fields the split reads (channels at 22, rate at 24, bits at 34, the
# data chunk's header at 36), and in the first frames.
for src in S16, S24, wav(1, 8, noise(9)):
    for n in 0, 11, 12, 15, 19, 20, 23, 24, 35, 36, 39, 40, 43, 44, 45, 47, 48, 49, 50, 55, 56:
        testing(f"{num(src, 22, 2)} channels of {num(src, 34, 2)} bits, cut at {n}", T, MODEL, src[:n])
testing("8-bit samples", T, (WIDTH, 1), wav(2, 8, noise(400)))
finish()
