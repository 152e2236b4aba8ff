# Every mover of the build, through tests/movers.cpp, on frames read from an even address that is not a multiple of
# 4: the samples of each channel, and Fletcher's sums over the frames' little-endian 32-bit words in one lane, the
# last 16 frames padded with zeros (the sum of sums adds each word once for every word from it to the end). Random
# frames of every length from none to two steps of 16 and one more, and silence with one word set, each word of
# such frames in turn.
from harness import *


def moved(frames, s):
    padded = frames + bytes(-len(frames) % (32 * s))
    words = [num(padded, k) for k in range(0, len(padded), 4)]
    a, b = sum(words) % 2**64, sum((len(words) - i) * word for i, word in enumerate(words)) % 2**64
    picks = [b"".join(frames[f + c * s : f + c * s + s] for f in range(0, len(frames), 2 * s)) for c in (0, 1)]
    return "".join(f"{p.hex()} {a:016x} {b:016x}\n" * 3 for p in picks), 0


for bits in 16, 24:
    s, move = bits // 8, f"$B {bits} < take.wav"
    for n in range(34):
        frames = noise(2 * s * n, n)
        testing(f"{n} random frames of {bits} bits", move, moved(frames, s), frames)
    for k in range(33 * s // 2):
        silence = bytes(4 * k) + b"\1" + bytes(66 * s - 4 * k - 1)
        testing(f"33 frames of {bits} bits, silent but word {k}", move, moved(silence, s), silence)
finish()
