#!/usr/bin/env python3
# monosplit run as a user runs it, one case a line in the manner of BusyBox's `testing`: the shell command ($B is
# the program), the standard output and status expected, the source written to take.wav and the standard input.
# Every run must leave standard error empty and the source as it was, and a "done" must leave both outputs exactly
# as a small model of the split says.
#   suite.py GROUP PROGRAM [EMULATOR ...]    exit status 77: skipped, for want of a tool
import collections, os, random, re, shutil, subprocess, sys, tempfile

GROUP, PROGRAM, EMULATOR = sys.argv[1], os.path.abspath(sys.argv[2]), sys.argv[3:]
ROOT = tempfile.mkdtemp(prefix="monosplit-")
CASE, B = ROOT + "/case", ROOT + "/monosplit"
ENV = dict(os.environ, LC_ALL="C", B=B, PATH=ROOT + ":" + os.environ["PATH"])
P1, P2 = "\nEnter the name of .wav file or 'h' for help: ", "\nEnter the name of .wav file or 'x' to exit: "
NO_FMT, NO_DATA = "Can't find format chunk in wave file!\n", "Can't find data block in wave file!\n"
MONO, WIDTH = "The file you want to convert is not a stereo track!\n", "24 bit or 16 bit wave files only!\n"
OPEN, READ, WRITE = "Unable to open file.\n", "Unable to read file.\n", "Unable to write file.\n"
NAME, FAILS, RULES = "Filename error: looking for format of type name.wav\n", [], collections.Counter()

le = lambda value, size: (value % 256**size).to_bytes(size, "little")
num = lambda src, at, size=4: int.from_bytes(src[at : at + size], "little")
chunk = lambda tag, body: tag + le(len(body), 4) + body + b"\0" * (len(body) % 2)
noise = lambda n, seed=1: random.Random(seed).randbytes(n)
read = lambda path: open(path, "rb").read() if os.path.isfile(path) else None
is_id = lambda id: len(id) == 4 and all(32 <= c < 127 for c in id)


def wav(channels, bits, data, rate=44100, size=None, riff=b"RIFF"):
    a, size = channels * bits // 8, len(data) if size is None else size
    fmt = le(16, 4) + le(1, 2) + le(channels, 2) + le(rate, 4) + le(rate * a, 4) + le(a, 2) + le(bits, 2)
    return riff + le(36 + len(data), 4) + b"WAVEfmt " + fmt + b"data" + le(size, 4) + data


# The model, as the README tells it. A tag is the id of one of the first 1000 chunks of the list that starts at 12;
# where the list breaks first, it is the first even offset from 12 to 15000 at which the tag stands.
def find(src, tag, at=12):
    for _ in range(1000):
        if at + 8 > len(src) or not (src.startswith(tag, at) or is_id(src[at : at + 4])):
            break
        if src.startswith(tag, at):
            return at
        at += 8 + num(src, at + 4) + num(src, at + 4) % 2
    return next((p for p in range(12, 15001, 2) if src.startswith(tag, p)), None)


# The samples run from the data chunk's body to the end of the file, or to the size it declares when a chunk id or
# a bare ID3v1 tag stands behind them. In an RF64 file, ds64's 64-bit size stands for a declared 0xFFFFFFFF.
def samples(src, d):
    size = num(src, d + 4) if d + 8 <= len(src) else 0
    rf64 = size == 2**32 - 1 and src[:4] in (b"RF64", b"BW64") and src[12:16] == b"ds64" and len(src) >= 36
    size = num(src, 28, 8) % (2**64 - 1) if rf64 else 0 if size == 2**32 - 1 else size
    behind = len(src) - (d + 8 + size + size % 2)
    id3 = behind == 128 and src[-128:].startswith(b"TAG")
    end = d + 8 + size if size and (behind >= 8 and is_id(src[-behind:][:4]) or id3) else len(src)
    RULES["to the end" if end == len(src) else "RF64" if rf64 else "ID3v1" if id3 else "the size"] += 1
    return src[d + 8 : end]


# What a split of src must give: (stdout, status), and with "done" each output: a mono header and the samples of
# its channel in the whole frames.
def model(src):
    f, d = find(src, b"fmt"), find(src, b"data")
    fmt = b"" if f is None else src[f : f + 24]
    channels, bits = num(fmt, 10, 2), num(fmt, 22, 2)
    if len(fmt) < 12 or channels == 2 and len(fmt) < 24:
        return NO_FMT, 2
    if channels != 2 or bits not in (16, 24):
        return (MONO if channels != 2 else WIDTH), 1
    if d is None:
        return NO_DATA, 2
    data, s = samples(src, d), bits // 8
    pick = lambda c: b"".join(data[f + c * s : f + c * s + s] for f in range(0, len(data) - 2 * s + 1, 2 * s))
    return "done\n", 0, wav(1, bits, pick(0), num(fmt, 12)), wav(1, bits, pick(1), num(fmt, 12))


def check(what, ok, detail=""):
    if not ok:
        FAILS.append(what)
        print("FAIL", what, detail[:2000])


# Runs command in a fresh folder holding source as `at`. Without out, the model says what to expect; with known,
# any known line of status 2 will do as well. Only a command that removes the source itself may lose it.
def testing(command, out=None, status=0, source=b"", stdin="", at="take.wav", kept=True, known=False):
    shutil.rmtree(CASE, True)
    os.makedirs(os.path.dirname(f"{CASE}/{at}"), exist_ok=True)
    open(f"{CASE}/{at}", "wb").write(source)
    r = subprocess.run(command, shell=True, cwd=CASE, input=stdin.encode(), capture_output=True, env=ENV)
    got, want = (r.stdout.decode(errors="replace"), r.returncode), model(source)
    known = known and got[1] == 2 and got[0].startswith(("Unable to", "Cannot find file"))
    expected = got if known else want[:2] if out is None else (out, status)
    what = f"{command} (stdin {stdin[:20]!r}, source {source[:60]!r})"
    check(what, got == expected and not r.stderr, f"got {got}, want {expected}, stderr {r.stderr[:300]}")
    check(what + ": the source is kept", not kept or "rm take" in command or read(f"{CASE}/{at}") == source)
    stem = f"{CASE}/{os.path.dirname(at)}/" + os.path.basename(at).lstrip(".").split(".")[0]
    if got == ("done\n", 0) and not os.path.islink(stem + "L.wav"):
        check(what + ": outputs", (read(stem + "L.wav"), read(stem + "R.wav")) == want[2:])
    if got[1] == 1 or got[0] in (NO_FMT, NO_DATA):
        check(what + ": no outputs", not os.path.exists(stem + "L.wav"))
    return got


NEEDS = {"loop": ["losetup", "mknod"], "strace": ["strace"], "peers": ["sox", "ffmpeg", "sndfile-convert", "id3v2"]}
if not all(map(shutil.which, NEEDS.get(GROUP, []))) or GROUP == "loop" and os.getuid() != 0:
    sys.exit(print("skipped: this needs", *NEEDS[GROUP], "and root" * (GROUP == "loop")) or 77)
# A copy of the program, which the user the batch group runs as can reach wherever the build is; one built for
# another machine runs through its emulator.
shutil.copy(PROGRAM, ROOT + "/program")
open(B, "w").write(f'#!/bin/sh\nexec {" ".join(EMULATOR)} {ROOT}/program "$@"\n')
os.chmod(B, 0o755)
S16, S24, BAD = wav(2, 16, noise(4000)), wav(2, 24, noise(6006, 2), 96000), b"\1bad"  # BAD: not a chunk id
# NOTE: "data" at an even offset in a chunk's body. T: a split; the arguments after the first are ignored.
NOTE, T = chunk(b"note", b"..data"), "$B take.wav o.wav h"
HELP = subprocess.run(B, input=b"h\nx\n", capture_output=True).stdout.decode()[len(P1) : -len(P2)]
check("help fits a screen", "'x'" in HELP and "takeL.wav" in HELP and HELP.count("\n") <= 20, HELP)
# A source of 4 GiB and more, whose outputs declare their RIFF and data sizes unknown; shown here, as takeR.wav is full.
# A source of 4 GiB and more, whose outputs declare their RIFF and data sizes unknown; shown here, as takeR.wav is full.
big = "truncate -s 4294967340 take.wav; echo LIST >> take.wav; truncate -s {} take.wav; ln -s /dev/full takeR.wav; $B take.wav"
big += "; echo $(od -An -tx4 -j4 -N4 takeL.wav) $(od -An -tx4 -j40 -N4 takeL.wav)"
# Frames around a block of 768 KiB of frames (k: 196608 of 16 bits, 131072 of 24), and several blocks.
FRAMES = {b: (0, 1, k - 1, k, k + 1, 2 * k + 5) for b, k in ((16, 196608), (24, 131072))}


def huge(b, n):  # 4 GiB and more is declared unknown in both sizes
    r, d = (b // 8 * n + 36, b // 8 * n) if b // 8 * n + 36 < 2**32 else (2**32 - 1, 2**32 - 1)
    return big.format(44 + b // 4 * n), f"{WRITE}{r:08x} {d:08x}\n", 0, wav(2, b, b"", 0, -1), "", "take.wav", False


LOOP = "mv take.wav t; d=$(losetup -f --show t); ln -s $d take.wav; {}; $B take.wav; s=$?; losetup -d $d; mv t take.wav; exit $s"
CASES = {
    "splits": [
        # frames around a block, and several blocks; a partial frame behind them
        *((T, None, 0, wav(2, b, noise(n * b // 4)) + b"s" * (n % 4)) for b in (16, 24) for n in FRAMES[b]),
        (T, None, 0, wav(2, 24, b"abcd" + noise(596), size=0) + b"id3 \0\0\0\0"),  # size 0, printable samples
        (T, None, 0, S16[:36] + BAD + bytes(14960) + S16[36:]),  # the scan finds data at 15000
        *((T, None, 0, S16[:36] + NOTE + b"data" + bytes(n - 4)) for n in (6, 8)),  # a data chunk header at the end
        # the RIFF size spells a tag; the data chunk is the 1000th or the 1001st
        *((T, None, 0, S16[:4] + tag + S16[8:]) for tag in (b"fmt\0", b"fmt ", b"data")),
        *((T, None, 0, S16[:36] + NOTE + b"JUNK\0\0\0\0" * (n - 3) + S16[36:]) for n in (1000, 1001)),
        (T, None, 0, wav(2, 16, noise(400)) + b"TAG\xc9" + bytes(124)),  # ID3v1, a Latin-1 title
        *(huge(b, n) for b, n in ((16, 2147483629), (16, 2147483630), (24, 1431655753), (24, 1431655754))),
        *((T, None, 0, src[:n]) for n in range(61) for src in (S16, S24, wav(1, 8, noise(9)))),  # cut in the header
        (T, MONO, 1, wav(1, 16, noise(400))),
        (T, WIDTH, 1, wav(2, 8, noise(400))),
        (T, NO_DATA, 2, S16[:36] + chunk(b"JUNK", noise(99))),
        (T, NO_DATA, 2, S16[:36] + BAD + bytes(14962) + S16[36:]),  # data at 15002 behind a broken list
    ],
    "names": [
        ("$B live.take2.wav", "done\n", 0, S24, "", "live.take2.wav"),
        ("$B song", "done\n", 0, S24, "", "song"),
        ("$B d.x/.take.wav", "done\n", 0, S24, "", "d.x/.take.wav"),
        ("mkdir out; cd out; $B ../in/take.wav", "done\n", 0, S24, "", "in/take.wav"),
        ("$B n*.wav", "done\n", 0, S24, "", "n" * 99 + ".wav"),
        *((f"mkdir sub; $B {name}", NAME, 2) for name in (".", "...", "sub/", "sub/..")),
        ("$B", P1 + "done\n", 0, S16, "  take.wav other"),
        ("$B", P1 + HELP + P2, 1, S16, "h\nx\n"),
        ("$B", P1 + HELP + P2 + "Cannot find file in track list called h!!\n", 2, S16, "h\nh\n"),
        ("$B", P1 + "Cannot find file in track list called x!!\n", 2, S16, "x\n"),
        ("$B", P1 + "\n", 1, S16, " \n\t"),
        ("$B", P1 + "Cannot find file in track list called " + "a" * 4096 + "!!\n", 2, S16, "a" * 4096),
        ("$B", P1 + NAME, 2, S16, "a" * 4097),
        ("yes a | tr -d '\\n' | timeout 20 $B", P1 + NAME, 2),
    ],
    "faults": [
        ("ln -s /dev/full takeR.wav; $B take.wav", WRITE, 2, S24),
        ("mkdir takeR.wav; $B take.wav", OPEN, 2, S24),
        ("ln -s take.wav takeL.wav; $B take.wav", OPEN, 2, S24),
        ("ln take.wav takeR.wav; $B take.wav", OPEN, 2, S24),
        ("ln -s takeL.wav takeR.wav; $B take.wav", OPEN, 2, S24),
        ("rm take.wav; mkdir take.wav; $B take.wav", READ, 2),
        ("rm take.wav; mkfifo take.wav; timeout 9 $B take.wav", READ, 2),
        ("rm take.wav; python3 -c \"__import__('socket').socket(1).bind('take.wav')\"; $B take.wav", READ, 2),
        ("ln -s /dev/null takeL.wav; ln -s /dev/null takeR.wav; $B take.wav", "done\n", 0, S24),
        ("head -c 99999 /dev/zero | tee takeL.wav > takeR.wav; $B take.wav", "done\n", 0, S24),
    ],
    "loop": [
        (LOOP.format("ln -s $d takeL.wav"), OPEN, 2, S24 + bytes(94)),
        (LOOP.format("mknod takeL.wav b $(stat -c '0x%t 0x%T' $d)"), OPEN, 2, S24 + bytes(94)),
    ],
}

golden = "52494646f407000057415645666d74201000000001000100" "44ac0000885801000200100064617461d0070000"
check("the model's header", wav(1, 16, bytes(2000))[:44].hex() == golden)
for case in CASES.get(GROUP, []):
    testing(*case)
if GROUP == "batch":  # what the script prints, sorted (the splits run side by side), and its status
    ENV["NOBODY"] = "setpriv --reuid=nobody --regid=nogroup --clear-groups" if os.getuid() == 0 else ""
    shutil.copy(os.path.dirname(os.path.abspath(__file__)) + "/../examples/split-all", ROOT)  # to reach, as B
    run = "; ($AS ../split-all s 2>&1; echo $?) | sort"
    G, NO = "s/GUITAR.wav: done\n", "Permission denied\ns/t.wav: done\n"  # NO: a folder the user may not read
    for setup, out in [
        ("mkdir s; cp x s/GUITAR.wav; cp x s/ZOOM0001.WAV", f"0\n{G}s/ZOOM0001.WAV: done\n"),
        ("mkdir s; touch s/GUITARL.wav; cp x s/GUITAR.wav; tail -c +4045 x > s/m.wav", f"123\n{G}s/m.wav: {MONO}"),
        ("mkdir s; cp x s/a.1.wav; cp x s/a.2.wav", "1\ns/a\nthese would write the same outputs:\n"),
        ("true", "2\nfind: 's': No such file or directory\n"),
        ("mkdir -p s/no; cp x s/t.wav; chmod -R a+rwX . ..; chmod 0 s/no; AS=$NOBODY", f"2\nfind: 's/no': {NO}"),
    ]:
        testing(setup + run, out, 0, S16 + wav(1, 8, b"m"), at="x")
elif GROUP == "strace":
    ENV["ASAN_OPTIONS"] = ENV.get("ASAN_OPTIONS", "") + ":detect_leaks=0"  # LeakSanitizer cannot work under ptrace
    # The source's nth opening waits a second, while it is changed: another take (o) is put in its place, say.
    delay = "strace -f -o /dev/null -P $PWD/take.wav -e trace=openat -e inject=openat:delay_enter=1000000:when="
    other = "cp take.wav o; printf LIST | dd of=o bs=1 seek=999 conv=notrunc status=none"
    for n, change, out in [
        (3, "head -c 999 /dev/zero >> take.wav", READ),
        (2, "truncate -s 999 take.wav", READ),
        (2, "rm take.wav", f"Cannot find file in track list called {CASE}/take.wav!!\n"),
        *((n, "mv o take.wav", READ) for n in (2, 3, 4)),
        *((n, "cp o take.wav", READ) for n in (2, 3, 4)),
        *((n, "rm take.wav; mkfifo take.wav", READ) for n in (2, 3, 4)),
    ]:
        testing(f"{other}; (sleep .4; {change}) & timeout 9 {delay}{n} $B $PWD/take.wav", out, 2, S24, kept=False)
    # The data chunk's header lies past the first bytes, across the edge of a 4096-byte block.
    source = S24[:36] + chunk(b"LIST", b"x" * 40912) + S24[36:] + chunk(b"LIST", b"x")
    for call in "openat", "read", "write", "lseek", "close", "newfstatat", "fcntl":
        for n in range(1, 99):
            inject = f"strace -f -y -o log -P $PWD/take.wav -P $PWD/takeL.wav -P $PWD/takeR.wav -e inject={call}:error=EIO:when={n}"
            got = testing(f"{inject} -e trace={call} $B $PWD/take.wav", source=source, known=True)
            # A write or close of an output that failed can never end in "done".
            lost = re.search(rb"(write|close)\(\d+<[^>]*take[LR]\.wav>.*INJECTED", read(CASE + "/log"))
            check(f"{call} {n}: a failed output ends in failure", not lost or got[1] == 2)
            if b"INJECTED" not in read(CASE + "/log"):
                break
        check(f"{call} fails somewhere", n > 1)
elif GROUP.startswith("hostile"):  # in halves of 1000 sources, one from each seed, run side by side
    rnd, ends = random.Random(int(GROUP[-1])), collections.Counter()
    damage = [b"fmt ", b"data", b"\2\0", b"\x18\0", b"", b"s", b"LIST", b"\x7f", b"\xff\xff\xff\xff", b" \0\0\0"]
    ids, bodies = (b"LIST", b"bext", b"\0bad"), (b"..data", b"xfmt ", b"x")  # bodies are repeated 1 or 3000 times
    for i in range(1000):  # chunk lists as writers leave them, and a few sources of noise; then damage
        bits, n = rnd.choice((16, 24) * 3 + (8, 32)), rnd.randrange(5000)
        riff = rnd.choice((b"RIFF", b"RF64", b"BW64"))
        sizes = (n, n, n, 0, 2**32 - 1, n + 6, n - 6) if riff == b"RIFF" else (2**32 - 1, 2**32 - 1, n)
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
        ends[testing(T, source=bytes(src))[1]] += 1
    check("every end is reached", min(ends.values()) > 100 and len(ends) == 3, f"statuses: {ends}")
    check("every rule is met", len(RULES) == 4 and min(RULES.values()) > 10, str(RULES))
elif GROUP == "peers":  # files as common writers leave them, each output the same as sox's reading of its channel
    ff = "ffmpeg -v error -f lavfi -i sine=r=48000:d=0.4 -f lavfi -i anoisesrc=r=48000:d=0.4 -filter_complex amerge -y "
    note = "$(python3 -c \"print(('Session notes: metadata edited later.  ' * 450)[:16500])\")"
    tone = "sox -n -r 48000 -b 24 -c 2 q.wav synth .5 sine 440 pinknoise && sndfile-"
    for make in [
        "sox -n -r 44100 -b 16 -c 2 p.wav synth .6 sine 440 whitenoise && id3v2 -1 -a Artist p.wav",
        *(f'{ff}-c:a pcm_s{b}le -write_bext 1 -metadata comment="{note}" p.wav' for b in (16, 24)),
        tone + "convert -pcm16 q.wav p.wav && sndfile-metadata-set --str-title 'Take three' p.wav",
        tone + "metadata-set --bext-description 'Tone, metadata ok' --str-comment 'fmt and data' q.wav p.wav",
        tone + "convert -pcm24 q.wav p.rf64 && mv p.rf64 p.wav && sndfile-metadata-set --str-title 'Take 3' p.wav",
    ]:
        subprocess.run(make, shell=True, cwd=ROOT, check=True, stderr=subprocess.DEVNULL)
        compare = "sox take.wav -D -t raw c remix $c; sox take$(echo $c | tr 12 LR).wav -D -t raw - | cmp - c"
        testing(f"$B take.wav && for c in 1 2; do {compare}; done", "done\n", 0, read(ROOT + "/p.wav"))
elif GROUP not in CASES:
    check(f"a group called {GROUP}", False)
shutil.rmtree(ROOT, True)
sys.exit(1 if FAILS else 0)
