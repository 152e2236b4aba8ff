# 1000 sources as writers leave them, damaged: chunk lists as writers leave them and a few sources of noise, then
# damage, in the header often, anywhere, or just before the end. Each must split as the model says, every end and
# every rule of where the samples end being met.
from harness import *

UNKNOWN = 2**32 - 1

rnd, ends = random.Random(1), collections.Counter()
damage = [b"fmt ", b"data", le(2, 2), le(24, 2), b"", b"s", b"LIST", b"\x7f", le(UNKNOWN, 4), b" \0\0\0"]
ids, bodies = (b"LIST", b"bext", b"\0bad"), (b"..data", b"xfmt ", b"x")  # bodies are repeated 1 or 3000 times
for i in range(1000):
    bits, n = rnd.choice((16, 24) * 3 + (8, 32)), rnd.randrange(5000)
    riff = rnd.choice((b"RIFF", b"RF64", b"BW64"))
    sizes = (n, n, n, 0, UNKNOWN, n + 6, n - 6) if riff == b"RIFF" else (UNKNOWN, UNKNOWN, n)
    w = wav(2, bits, noise(n, i) + b"\0" * (n % 2), rnd.randrange(2**32), rnd.choice(sizes), riff)
    ds64 = chunk(b"ds64", bytes(8) + le(rnd.choice((n, n, n, 0, 2**64 - 1, 2**63, n - 6)), 8) + bytes(12))
    tags = [chunk(rnd.choice(ids), rnd.choice(bodies) * rnd.choice((1, 3000))) for _ in "ab"]
    chunks = ([w[12:36]] * (i % 11 > 0) + tags)[: rnd.randrange(1, 4)]
    rnd.shuffle(chunks)
    tag = b"TAG" + bytes(rnd.choice((124, 125, 125, 126)))  # an ID3v1 tag when it is 128 bytes long
    after = rnd.choice((b"", chunk(b"LIST", b"ab"), b"id3 \0\0\0\0", b"LIST\2\0", tag, tag, bytes(9)))
    src = w[:12] + ds64 * (riff != b"RIFF" or i % 5 == 0) + b"".join(chunks) + w[36:] + after
    src = bytearray(src if i % 8 else noise(rnd.randrange(4000), i))
    for _ in range(rnd.choice((0, 0, 1, 2, 4))):
        at = rnd.choice([rnd.randrange(49)] * 5 + [rnd.randrange(len(src) + 1), len(src) - 9])
        src[at : at + 4] = rnd.choice(damage)
    ends[testing(f"damaged source {i}: as the model says", "$B take.wav", MODEL, bytes(src))[1]] += 1
check("every end is reached", min(ends.values()) > 100 and len(ends) == 3, f"statuses: {ends}")
check("every rule is met", len(RULES) == 4 and min(RULES.values()) > 10, str(RULES))
finish()
