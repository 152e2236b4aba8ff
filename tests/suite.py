#!/usr/bin/env python3
# monosplit run as a user runs it, one case a line in the manner of BusyBox's
# `testing`: description, shell command ($B is the program), expected standard
# output and status, source (bytes written to take.wav) and standard input.
# Every run must leave standard error empty and the source as it was, and a
# "done" must leave both outputs exactly as a small model of the split says.
#   suite.py MONOSPLIT GROUP        exit status 77: skipped, for want of a tool
import os, random, shutil, subprocess, sys, tempfile

BIN, GROUP, ROOT = os.path.abspath(sys.argv[1]), sys.argv[2], tempfile.mkdtemp(prefix="monosplit-")
CASE, README = ROOT + "/case", os.path.abspath(os.path.dirname(__file__) + "/../README.md")
ENV = dict(os.environ, LC_ALL="C", B=BIN, README=README, PATH=os.path.dirname(BIN) + ":" + os.environ["PATH"])
P1, P2 = "\nEnter the name of .wav file or 'h' for help: ", "\nEnter the name of .wav file or 'x' to exit: "
NO_FMT, NO_DATA = "Can't find format chunk in wave file!\n", "Can't find data block in wave file!\n"
MONO, WIDTH = "The file you want to convert is not a stereo track!\n", "24 bit or 16 bit wave files only!\n"
OPEN, READ, WRITE = "Unable to open file.\n", "Unable to read file.\n", "Unable to write file.\n"
NAME, FAILS = "Filename error: looking for format of type name.wav\n", []


def le(value, size): return (value % 256 ** size).to_bytes(size, "little")


def wav(channels, bits, data, rate=44100, size=None):
    a = channels * bits // 8
    return (b"RIFF" + le(36 + len(data), 4) + b"WAVEfmt " + le(16, 4) + le(1, 2) + le(channels, 2) + le(rate, 4)
            + le(rate * a, 4) + le(a, 2) + le(bits, 2) + b"data" + le(len(data) if size is None else size, 4) + data)


def chunk(tag, body): return tag + le(len(body), 4) + body + b"\0" * (len(body) % 2)


def noise(n, seed=1): return random.Random(seed).randbytes(n)


def read(path): return open(path, "rb").read() if os.path.isfile(path) else None


# What a split of src must give: (stdout, status) or (stdout, status, left, right). A tag is where the chunk list
# from offset 12 puts it, else at the first even offset 12..15000; the checks come in the README's order; the
# samples end at the declared size when a chunk id stands behind it, else at the end of the file.
def model(src):
    num, ok = lambda at: int.from_bytes(src[at:at + 4], "little"), lambda at: all(32 <= c < 127 for c in src[at:at + 4])
    def tag(t, q=12, p=11):
        while q <= 15000 and q + 8 <= len(src) and (src[q:q + len(t)] == t or ok(q)):
            if src[q:q + len(t)] == t: return q
            q += 8 + num(q + 4) + num(q + 4) % 2
        while (p := src.find(t, p + 1)) % 2 and p != -1: pass
        return p if 0 <= p <= 15000 else None
    f, d = tag(b"fmt"), tag(b"data")
    field = lambda at, n: int.from_bytes(src[f + at:f + at + n], "little") if len(src) >= f + at + n else None
    channels, bits = (None, None) if f is None else (field(10, 2), field(22, 2))
    if channels is None or channels == 2 and bits is None: return NO_FMT, 2
    if channels != 2 or bits not in (16, 24): return (MONO if channels != 2 else WIDTH), 1
    if d is None: return NO_DATA, 2
    s, n = bits // 8, num(d + 4); e = d + 8 + n + n % 2  # e: where a chunk behind the samples would start
    data = src[d + 8:d + 8 + n if n not in (0, 2 ** 32 - 1) and e + 8 <= len(src) and ok(e) else None]
    pick = lambda c: b"".join(data[i + c * s:i + c * s + s] for i in range(0, len(data) - 2 * s + 1, 2 * s))
    return "done\n", 0, wav(1, bits, pick(0), field(12, 4)), wav(1, bits, pick(1), field(12, 4))


def check(what, ok, detail=""):
    if not ok: FAILS.append(what); print("FAIL", what, detail[:2000])


# Without out, the model says what to expect; with known, any known line of status 2 will do as well. Returns the
# status expected.
def testing(what, command, out=None, status=None, source=None, stdin="", at="take.wav", kept=True, known=False):
    shutil.rmtree(CASE, True); os.makedirs(os.path.dirname(f"{CASE}/{at}"), exist_ok=True)
    if source is not None: open(f"{CASE}/{at}", "wb").write(source)
    r = subprocess.run(command, shell=True, cwd=CASE, input=stdin.encode(), capture_output=True, timeout=60, env=ENV)
    got, want = (r.stdout.decode(errors="replace"), r.returncode), None if source is None else model(source)
    expected = (out, status) if out else want[:2]
    if known and got[1] == 2 and (got[0] in (OPEN, READ, WRITE) or "Cannot find file" in got[0]): expected = got
    check(what, got == expected and not r.stderr, f"got {got}, want {expected}, stderr {r.stderr[:300]}")
    check(what + ": the source is kept", not kept or read(f"{CASE}/{at}") == source)
    stem = f"{CASE}/{os.path.dirname(at)}/" + os.path.basename(at).lstrip(".").split(".")[0]
    if got[0].endswith("done\n") and not got[1] and not os.path.islink(stem + "L.wav"):
        check(what + ": outputs", (read(stem + "L.wav"), read(stem + "R.wav")) == want[2:])
    if got[1] == 1 or got[0] in (NO_FMT, NO_DATA): check(what + ": no outputs", not os.path.exists(stem + "L.wav"))
    return expected[1]


def need(*tools, probe="true"):
    if not all(map(shutil.which, tools)) or subprocess.run(probe, shell=True, capture_output=True).returncode:
        print("skipped: this needs", *tools, *([] if probe == "true" else ["and", probe, "to work"])); sys.exit(77)


S16, S24 = wav(2, 16, noise(4000)), wav(2, 24, noise(6006, 2), 96000)
N = S16[:36] + chunk(b"note", b"xxdata" + noise(9))  # the letters of a tag in a chunk's body
if GROUP == "splits":
    check("the model's header", wav(1, 16, bytes(2000))[:44].hex() == "52494646f407000057415645666d7420100000000100"
          "010044ac00008858010002001000" "64617461d0070000")
    for bits, rate in (16, 44100), (24, 96000):
        for frames in 0, 1, 1023, 1024, 1025, 2500:  # and a partial frame of 0 to 3 bytes
            testing(f"{bits} bits, {frames} frames", "$B take.wav", "done\n", 0,
                    wav(2, bits, noise(frames * bits // 4), rate) + b"s" * (frames % 7))
    for what, src in [("chunk between fmt and data", S16[:36] + chunk(b"~id ", b"xxdata" + noise(25)) + S16[36:]),
                      ("chunk before fmt", S16[:12] + chunk(b"bext", b"Take 3" * 99) + S16[12:]),
                      ("empty chunk after the samples", S16 + chunk(b"id3 ", b"")),
                      ("chunk after an odd size", wav(2, 16, noise(801)) + b"\0" + chunk(b"LIST", b"x")),
                      ("zeros after the samples", S16 + bytes(9)), ("cut chunk header after", S16 + b"LIST\0\0\0"),
                      *((f"size {n}, a chunk after", wav(2, 24, b"abcd" + noise(596), size=n) + chunk(b"LIST", b""))
                        for n in (0, 0xFFFFFFFF, 999)),
                      ("data in a chunk's body", N + S16[36:]), *((f"{n}-byte data header at the end", N + b"data" +
                                                                     bytes(n - 4)) for n in (6, 8)),
                      ("unprintable id before data", S16[:36] + chunk(b"\1bad", b"xxdata" + noise(9)) + S16[36:]),
                      ("size past 15000 before data", S16[:36] + b"JUNK" + le(15000, 4) + b"xxdata" + S16[36:]),
                      ("data tag at 15000", S16[:36] + chunk(b"JUNK", b"..data" + bytes(14950)) + S16[36:]),
                      ("scan finds data at 15000", S16[:36] + b"\1bad" + bytes(14960) + S16[36:]),
                      *((f"RIFF size spelling {t}", S16[:4] + t + S16[8:]) for t in (b"fmt\0", b"fmt ", b"data"))]:
        testing(what, "$B take.wav", "done\n", 0, src)
    testing("longer old outputs", "head -c 99999 /dev/zero | tee takeL.wav > takeR.wav; $B take.wav", "done\n", 0, S16)
    testing("only the first argument", "$B take.wav other.wav h; ls", "done\ntake.wav\ntakeL.wav\ntakeR.wav\n", 0, S16)
    for bits, frames, sizes in [(16, 2147483629, "fffffffe ffffffda"), (16, 2147483630, "ffffffff ffffffff"),
                                (24, 1431655753, "ffffffff ffffffdb"), (24, 1431655754, "ffffffff ffffffff")]:
        testing(f"{frames} frames", "truncate -s 4294967340 take.wav; echo LIST>>take.wav; ln -s /dev/full takeR.wav;"
                f" truncate -s {44 + bits // 4 * frames} take.wav; $B take.wav; echo $(for j in 4 40; do od -An -tx4 "
                "-j$j -N4 takeL.wav; done)", WRITE + sizes + "\n", 0, wav(2, bits, b"", size=-1), kept=False)
elif GROUP == "refusals":
    for n in range(61):  # a mono source too: its channel count, once whole, is told before the bits are looked at
        for src in S16, S24, wav(1, 8, noise(9)): testing(f"cut at {n}", "$B take.wav", source=src[:n])
    for what, src, out, status in [
            ("fmt at an odd offset", S16[:12] + b"\0" + S16[12:], NO_FMT, 2), ("at 10", S16[:10] + S16[12:], NO_FMT, 2),
            ("mono", wav(1, 16, noise(400)), MONO, 1), ("6 channels", wav(6, 24, noise(360)), MONO, 1),
            ("8 bits", wav(2, 8, noise(400)), WIDTH, 1), ("32 bits", wav(2, 32, noise(400)), WIDTH, 1),
            ("no data tag", S16[:36] + chunk(b"JUNK", noise(99)), NO_DATA, 2),
            ("data tag at 15002", S16[:36] + chunk(b"JUNK", bytes(14958)) + S16[36:], NO_DATA, 2),
            ("data at an odd offset", S16[:36] + b"\0" + S16[36:], NO_DATA, 2), ("dat", S16[:36] + b"dat", NO_DATA, 2)]:
        testing(what, "$B take.wav", out, status, src)
    testing("no such source", "$B nothere.wav", "Cannot find file in track list called nothere.wav!!\n", 2)
elif GROUP == "names":
    for at, command in [("live.take2.wav", "$B live.take2.wav"), ("song", "$B song"), ("take.wav", "$B ./take.wav"),
                        ("d.x/.take.wav", "$B d.x/.take.wav"), ("in/take.wav", "mkdir out; cd out; $B ../in/take.wav"),
                        ("n" * 99 + ".wav", "$B n*.wav"), ("sub/x.y/h", "$B $PWD/sub/x.y/h")]:
        testing(at, command, "done\n", 0, S24, at=at)
    for name in ".", "...", "sub/", "sub/..": testing(f"no stem in {name}", f"mkdir sub; $B {name}", NAME, 2)
    batch = "sed -n '/list=/,/ sh$/p' $README >../r; mkdir sessions; {}; (sh ../r; echo $?) 2>&1 |sort; ls; ls sessions"
    for setup, out in [("true", "0|sessions|x"), ("head -c 4044 x > S/GUITAR.wav; tail -c +4045 x > S/mono.wav; cp x "
                        "S/take.wav; touch S/takeL.wav", f"123|S/GUITAR.wav: done|S/mono.wav: {MONO}S/take.wav: done|"
                        "sessions|x|GUITAR.wav|GUITARL.wav|GUITARR.wav|mono.wav|take.wav|takeL.wav|takeR.wav"),
                       ("cp x S/live.take1.wav; cp x S/live.take2.wav", "1|S/live|these would write the same outputs:|"
                        "sessions|x|live.take1.wav|live.take2.wav")]:
        testing(f"batch: {setup}", batch.format(setup.replace("S/", "sessions/")),
                out.replace("S/", "sessions/").replace("|", "\n") + "\n", 0, S16 + wav(1, 8, b"m"), at="x")
elif GROUP == "dialogue":
    HELP = subprocess.run(BIN, input=b"h\nx\n", capture_output=True).stdout.decode()[len(P1):-len(P2)]
    check("help fits a screen", "'x'" in HELP and "takeL.wav" in HELP and HELP.count("\n") <= 20, HELP)
    for stdin, out, status in [
            ("take.wav\n", "done\n", 0), ("  take.wav other", "done\n", 0), ("h\nx\n", HELP + P2, 1),
            ("h\n take.wav\n", HELP + P2 + "done\n", 0), ("", "\n", 1), (" \n\t", "\n", 1), ("h", HELP + P2 + "\n", 1),
            ("h\nh\n", HELP + P2 + "Cannot find file in track list called h!!\n", 2),
            ("x\n", "Cannot find file in track list called x!!\n", 2), ("...\n", NAME, 2),
            ("a" * 4096, "Cannot find file in track list called " + "a" * 4096 + "!!\n", 2), ("a" * 4097, NAME, 2)]:
        testing(repr(stdin[:20]), "$B", P1 + out, status, S16, stdin)
    testing("endless word", "yes a | tr -d '\\n' | timeout 20 $B", P1 + NAME, 2)
elif GROUP == "faults":
    for setup, out in [("ln -s /dev/full takeL.wav", WRITE), ("ln -s /dev/full takeR.wav", WRITE),
                       ("mkdir takeR.wav", OPEN), ("ln -s take.wav takeL.wav", OPEN), ("ln take.wav takeR.wav", OPEN),
                       ("touch takeL.wav; ln -s takeL.wav takeR.wav", OPEN), ("ln -s takeL.wav takeR.wav", OPEN),
                       ("ln -s takeR.wav takeL.wav", OPEN), ("rm take.wav; mkdir take.wav", READ),
                       ("rm take.wav; mkfifo take.wav", READ), ("ln -s /dev/null takeL.wav; ln -s /dev/null takeR.wav",
                                                                "done\n")]:
        testing(setup, f"{setup}; timeout 9 $B take.wav", out, 0 if out == "done\n" else 2, S24, kept="rm" not in setup)
elif GROUP == "loop":  # a block device keeps what is written to it, as a file does
    need("losetup", probe="losetup -f")
    testing("output is the source's block device", "mv take.wav t; d=$(losetup -f --show t); ln -s $d take.wav; ln -s "
            "$d takeL.wav; $B take.wav; s=$?; losetup -d $d; mv -f t take.wav; exit $s", OPEN, 2, S24 + bytes(94))
elif GROUP == "strace":
    need("strace")
    ENV["ASAN_OPTIONS"] = ENV.get("ASAN_OPTIONS", "") + ":detect_leaks=0"  # LeakSanitizer cannot work under ptrace
    delayed = "strace -f -o /dev/null -P $PWD/take.wav -e trace=openat -e inject=openat:delay_enter=1000000:when="
    for what, when, change, out in [("grows", 3, "head -c 999 /dev/zero >> take.wav", "done\n"),
                                     ("shrinks", 3, "truncate -s 9999 take.wav", READ), ("vanishes", 2, "rm take.wav",
                                     f"Cannot find file in track list called {CASE}/take.wav!!\n"),
                                     *((f"is renamed over at open {n}", n, "cp take.wav o; mv o take.wav", READ)
                                       for n in (2, 3, 4))]:
        testing(f"the source {what} while it is split", f"(sleep 0.4; {change}) & {delayed}{when} $B $PWD/take.wav",
                out, 0 if out == "done\n" else 2, S16 + noise(20000), kept=False)
    paths = "-P $PWD/take.wav -P $PWD/takeL.wav -P $PWD/takeR.wav"
    for call in "openat", "read", "write", "lseek", "close", "newfstatat":
        for n in range(1, 99):
            testing(f"{call} {n} fails", f"strace -f -o log {paths} -e trace={call} -e inject={call}:error=EIO:"
                    f"when={n} $B $PWD/take.wav", source=wav(2, 24, noise(150000)) + chunk(b"LIST", b"x"), known=True)
            if b"INJECTED" not in read(CASE + "/log"): break
        check(f"{call} fails somewhere", n > 1)
elif GROUP.startswith("hostile"):  # in halves of 1000 sources, one from each seed, run side by side
    rnd, ends = random.Random(int(GROUP[-1])), [0, 0, 0]
    for i in range(1000):
        bits, rate = rnd.choice((16, 24, 16, 24, 8, 32)), rnd.randrange(2 ** 32)
        src = bytearray(wav(2, bits, noise(rnd.randrange(20000), i), rate) + chunk(b"LIST", b"ab")[:i % 5 * 3]
                        if i % 4 else noise(rnd.randrange(4000), i))
        for _ in range(rnd.randrange(8)):
            at = rnd.choice((rnd.randrange(min(48, len(src) + 1)),) * 5 + (rnd.randrange(len(src) + 1), len(src) - 9))
            src[at:at + 4] = rnd.choice((b"fmt ", b"data", b"\2\0", b"\x18\0", le(rate * 99, 4), b"", b"s", b"LIST",
                                         le(rnd.randrange(99), 4), b"\x7f"))
        ends[testing(f"hostile {i}", "$B take.wav", source=bytes(src))] += 1
    check("every end is reached", all(e > 100 for e in ends), f"done, status 1, status 2: {ends}")
elif GROUP == "peers":
    need("sox", "ffmpeg", "sndfile-convert")
    ff = "ffmpeg -v error -f lavfi -i sine=r=48000:d=0.4 -f lavfi -i anoisesrc=r=48000:d=0.4 -filter_complex amerge -y "
    for make in ["sox -n -r 44100 -b 16 -c 2 p.wav synth .6 sine 440 whitenoise", ff + "-c:a pcm_s16le p.wav",
                 "sox -n -r 48000 -b 24 -c 2 p.wav synth .5 pinknoise sine 1000", ff + "-c:a pcm_s24le p.wav",
                 ff + "-c:a pcm_s16le -write_bext 1 p.wav", "sox -n -c 2 q.wav synth .3 sine 3 brownnoise && "
                 "sndfile-convert -pcm24 q.wav p.wav", "sox -n -b 16 -c 2 q.wav synth .5 sine 440 sine 660 && "
                 "sndfile-metadata-set --str-title 'Take three' --str-artist Choir q.wav p.wav", "sox -n -b 24 -c 2 "
                 "q.wav synth .4 sine 300 pinknoise && sndfile-metadata-set --bext-description 'Tone, metadata ok' "
                 "--str-comment 'fmt and data' q.wav p.wav"]:
        subprocess.run(make, shell=True, cwd=ROOT, check=True, stderr=subprocess.DEVNULL)
        testing(make, "$B take.wav && for c in 1 2; do sox take.wav -D -t raw $c.raw remix $c && sox "
                "take$(echo $c | tr 12 LR).wav -D -t raw - | cmp - $c.raw; done", "done\n", 0, read(ROOT + "/p.wav"))
shutil.rmtree(ROOT, True)
sys.exit(1 if FAILS else 0)
