#!/usr/bin/env python3
# monosplit run as a user runs it, one case a line as BusyBox's `testing` has them: what the case checks, the shell
# command ($B is the program), the standard output and exit status expected, the source written to take.wav and the
# standard input. Every run must leave standard error empty and the source as it was, unless the case says it may
# lose it, and a "done" must leave both outputs exactly as a small model of the split says.
#   suite.py GROUP PROGRAM [EMULATOR ...]    exit status 77: skipped, for want of a tool
#   suite.py midway [CHANGE [L]]             a split of take.wav changed halfway, as some cases run it
import collections, mmap, os, random, re, shutil, subprocess, sys, tempfile, time

# With takeR.wav a FIFO, the right channel's copy waits on it halfway through a long source. The source is changed
# then: by CHANGE, Python's, or by a write of its last 4 bytes through a mapping whose every page was written before
# the split began, which moves none of its times. With L, takeL.wav is the FIFO, and the change is made while the
# split waits to write the left header, before either copy reads.
if sys.argv[1] == "midway":
    mapping = mmap.mmap(os.open("take.wav", os.O_RDWR), 0)
    mapping[:] = mapping[:]
    change, before = sys.argv[2] if sys.argv[2:] else "mapping[-4:] = b'ZZZZ'", sys.argv[3:] == ["L"]
    fifo = "takeL.wav" if before else "takeR.wav"
    os.mkfifo(fifo)
    split = subprocess.Popen([os.environ["B"], "take.wav"])
    while before and open(f"/proc/{split.pid}/wchan").read() != "wait_for_partner":
        time.sleep(0.01)
    exec(change if before else "")
    output, got = os.open(fifo, os.O_RDONLY), 0
    while got <= 44:  # the header, then the first byte of samples
        more = len(os.read(output, 45 - got))
        got += more
        time.sleep(0 if more else 0.01)  # no writer yet, or between two
    exec("" if before else change)
    while split.poll() is None:
        os.read(output, 1 << 16) or time.sleep(0.01)
    sys.exit(split.wait())

GROUP, PROGRAM, EMULATOR = sys.argv[1], os.path.abspath(sys.argv[2]), sys.argv[3:]
ROOT = tempfile.mkdtemp(prefix="monosplit-")
CASE, B = ROOT + "/case", ROOT + "/monosplit"
ENV = dict(os.environ, LC_ALL="C", B=B, SUITE=os.path.abspath(__file__), PATH=ROOT + ":" + os.environ["PATH"])
P1, P2 = "\nEnter the name of .wav file or 'h' for help: ", "\nEnter the name of .wav file or 'x' to exit: "
NO_FMT, NO_DATA = "Can't find format chunk in wave file!\n", "Can't find data block in wave file!\n"
MONO, WIDTH = "The file you want to convert is not a stereo track!\n", "24 bit or 16 bit wave files only!\n"
OPEN, READ, WRITE = "Unable to open file.\n", "Unable to read file.\n", "Unable to write file.\n"
NAME, DONE = "Filename error: looking for format of type name.wav\n", "done\n"
FAILS, SKIPPED, RULES, CASES = [], [], collections.Counter(), collections.Counter()
CANNOT = "Cannot find file in track list called {}!!\n".format
MODEL, FAULTED = "what the model says", "what the model says, or a known failure with status 2"

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
LAST_PROBE, MOST_CHUNKS = 15000, 1000


def find(src, tag, at=12):
    for _ in range(MOST_CHUNKS):
        if at + 8 > len(src) or not (src.startswith(tag, at) or is_id(src[at : at + 4])):
            break
        if src.startswith(tag, at):
            return at
        at += 8 + num(src, at + 4) + num(src, at + 4) % 2
    return next((p for p in range(12, LAST_PROBE + 1, 2) if src.startswith(tag, p)), None)


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
    return DONE, 0, wav(1, bits, pick(0), num(fmt, 12)), wav(1, bits, pick(1), num(fmt, 12))


def check(what, ok, detail=""):
    if not ok:
        FAILS.append(what)
        print("FAIL", what, detail[:2000])


# Runs command in a fresh folder holding source as `at`, and checks what it printed and its status against want:
# (stdout, status), MODEL or FAULTED.
def testing(name, command, want, source=b"", stdin="", at="take.wav", may_lose=False):
    shutil.rmtree(CASE, True)
    failed = len(FAILS)
    os.makedirs(os.path.dirname(f"{CASE}/{at}"), exist_ok=True)
    open(f"{CASE}/{at}", "wb").write(source)
    r = subprocess.run(command, shell=True, cwd=CASE, input=stdin.encode(), capture_output=True, env=ENV)
    got, says = (r.stdout.decode(errors="replace"), r.returncode), model(source)
    expected = says[:2] if want in (MODEL, FAULTED) else want
    if want == FAULTED and got[1] == 2 and got[0].startswith(("Unable to", "Cannot find file")):
        expected = got
    check(name, got == expected and not r.stderr, f"{command}: got {got}, want {expected}, stderr {r.stderr[:300]}")
    check(name + ": the source is kept", may_lose or read(f"{CASE}/{at}") == source)
    stem = f"{CASE}/{os.path.dirname(at)}/" + os.path.basename(at).lstrip(".").split(".")[0]
    if got == (DONE, 0) and not os.path.islink(stem + "L.wav"):
        check(name + ": outputs", (read(stem + "L.wav"), read(stem + "R.wav")) == says[2:])
    if got[1] == 1 or got[0] in (NO_FMT, NO_DATA):
        check(name + ": no outputs", not os.path.exists(stem + "L.wav"))
    CASES["failed" if len(FAILS) > failed else "passed"] += 1
    return got


PEERS = ["sox", "ffmpeg", "sndfile-convert", "id3v2"]
NEEDS = {"loop": ["losetup", "mknod", "mkfs.ext4"], "strace": ["strace"], "peers": PEERS}
lacking = [tool for tool in NEEDS.get(GROUP, []) if not shutil.which(tool)]
lacking += ["root"] * (GROUP == "loop" and os.getuid() != 0)
if lacking:
    sys.exit(print("skipped: this needs", *lacking) or 77)
# A copy of the program, which the user the batch group runs as can reach wherever the build is; one built for
# another machine runs through its emulator.
shutil.copy(PROGRAM, ROOT + "/program")
open(B, "w").write(f'#!/bin/sh\nexec {" ".join(EMULATOR)} {ROOT}/program "$@"\n')
ENV["SA"] = shutil.copy(os.path.dirname(ENV["SUITE"]) + "/../examples/split-all", ROOT)  # to reach, as B
os.chmod(B, 0o755)
S16, S24, BAD = wav(2, 16, noise(1000 * 4)), wav(2, 24, noise(1001 * 6, 2), 96000), b"\1bad"  # BAD: not a chunk id
# NOTE: "data" at an even offset in a chunk's body. T: a split; the arguments after the first are ignored.
NOTE, T = chunk(b"note", b"..data"), "$B take.wav o.wav h"
VERSION = re.search(
    r"project\(monosplit VERSION ([\d.]+)", open(os.path.dirname(ENV["SUITE"]) + "/../CMakeLists.txt").read()
)[1]
HELP = f"""
monosplit splits a stereo WAV file into two mono WAV files, one per channel.

Give the source as the argument (monosplit take.wav) or type its name at
the prompt as one word: a blank ends it, so give a name with blanks as the
argument. The outputs go beside the source, named after it up to its first
'.' (any '.' at its very start skipped): take.wav gives takeL.wav (left
channel) and takeR.wav (right channel), overwriting files of those names.

It accepts stereo WAV files of 16 or 24 bits per sample; the samples are
copied unchanged behind a 44-byte mono PCM header.

Exit status: 0 both outputs written; 1 you left, or the source is not
16- or 24-bit stereo; 2 a problem with a name, a file or its chunks.

Type 'x' at the next prompt to leave.
monosplit {VERSION}
"""
check("the help and the prompts around it fit a terminal's 24 lines", HELP.count("\n") + 4 <= 24)
# The copier moves 768 KiB of frames a block (196608 of 16 bits, 131072 of 24), the first short by the frames that
# bring the output from its 44-byte header to a 4 KiB page boundary: 2026 of 16 bits, 2716 of 24. EDGES: frame
# counts at the edges of the first block, of the next and of several.
BLOCK, PAGE = 786432, os.sysconf("SC_PAGE_SIZE")
EDGES = {16: (0, 1, 2025, 2026, 2027, 198634, 395247), 24: (0, 1, 2715, 2716, 2717, 133788, 264865)}
PATH_MAX, NAME_MAX = 4096, 255  # Linux's limits
# A source of 4 GiB and more, frames of it, and what its left output declares as its RIFF and data sizes, shown as
# takeR.wav is full. FITS: the most frames of S bytes whose output's RIFF size (36 bytes and the samples) fits 32
# bits; one more is declared unknown in both.
HUGE = f"truncate -s {2**32 + 44} take.wav; echo LIST >> take.wav; truncate -s $((44 + {{}})) take.wav"
HUGE += "; ln -s /dev/full takeR.wav; $B take.wav"
HUGE += "; echo $(od -An -tx4 -j4 -N4 takeL.wav) $(od -An -tx4 -j40 -N4 takeL.wav)"
FITS, UNKNOWN = lambda s: (2**32 - 1 - 36) // s, 2**32 - 1
# The data chunk as the 1000th and the 1001st chunk, behind NOTE and JUNK chunks; and an ID3v1 tag, 128 bytes.
NTH = lambda n: S16[:36] + NOTE + b"JUNK\0\0\0\0" * (n - 3) + S16[36:]
ID3V1 = wav(2, 16, noise(400)) + b"TAG\xc9" + bytes(128 - 4)  # its title starts with a Latin-1 letter
# The source's openings: the header is read at the first, its size measured at the second, each channel copied at
# the third (left) and fourth (right), the header read once more at the fifth.
MEASURE, LEFT, RIGHT, AGAIN = 2, 3, 4, 5
OPENING = {MEASURE: "its size is measured", LEFT: "the left copy", RIGHT: "the right copy", AGAIN: "its check"}
TIMEOUT = "timeout 20"  # for cases that would hang if the program waited
LOOP = "mv take.wav t; d=$(losetup -f --show t); ln -s $d take.wav; {}; $B take.wav; s=$?"
LOOP += "; losetup -d $d; mv t take.wav; exit $s"
SECTORS = S24 + bytes(-len(S24) % 512)  # a loop device holds whole 512-byte sectors
# Three blocks' bytes of frames, read in four (the first short), the last by the right channel's copy after it
# waited halfway.
MIDWAY, LONG = f"{TIMEOUT} python3 $SUITE midway", wav(2, 24, noise(3 * BLOCK))
# Silence but for frames 1,000,001 = (1, 1) and 1,000,017 = (2, 2), starting at AT: 16 words apart, one lane's.
AT = 44 + 4 * 1000001
QUIET = wav(2, 16, bytes(4 * 1000001) + le(0x10001, 4) + bytes(60) + le(0x20002, 4) + bytes(4 * 499982))
# RIFF, fmt, JUNK(100), data and LIST(212), rewritten before the copies read to a JUNK 12 bytes longer and a LIST 12
# shorter: the same samples, 12 bytes further on.
MOVABLE = S16[:36] + chunk(b"JUNK", bytes(100)) + S16[36:] + chunk(b"LIST", noise(212))
SHIFT = f"{MIDWAY} \"mapping[156:] = mapping[144:-12]; mapping[40:44] = b'p\\0\\0\\0'; mapping[144:156] = bytes(12)"
SHIFT += "; mapping[-204:-200] = b'\\xc8\\0\\0\\0'\" L"
# A file system that keeps times in whole seconds, and a write to LONG's last frame within the second it was copied.
EXT4 = "truncate -s 16M fs; mkfs.ext4 -q -F -I 128 fs >/dev/null 2>&1; mkdir m; mount -o loop fs m; cd m"
SECOND = "python3 -c 'import time; time.sleep(1 - time.time() % 1)'; cp ../take.wav .; " + MIDWAY
SECOND += " \"f = open('take.wav', 'r+b'); f.seek(-4, 2); f.write(b'ZZZZ'); f.close()\"; s=$?; cd ..; umount m"

if GROUP == "splits":
    for bits in 16, 24:
        for n in EDGES[bits]:  # and a partial frame behind them
            testing(f"{n} frames of {bits} bits", T, (DONE, 0), wav(2, bits, noise(n * bits // 4)) + b"s" * (n % 4))
    size0 = wav(2, 24, b"abcd" + noise(596), size=0) + b"id3 \0\0\0\0"
    testing("a size of 0 runs to the end past samples that spell an id", T, (DONE, 0), size0)
    broken = lambda at: S16[:36] + BAD + bytes(at - 36 - len(BAD)) + S16[36:]  # the data chunk at `at`
    testing("data found by the scan at the last probe", T, (DONE, 0), broken(LAST_PROBE))
    testing("data past the last probe behind a broken list", T, (NO_DATA, 2), broken(LAST_PROBE + 2))
    testing("a data chunk header cut at the end", T, (DONE, 0), S16[:36] + NOTE + b"data" + bytes(2))
    testing("a data chunk header whole at the end", T, (DONE, 0), S16[:36] + NOTE + b"data" + bytes(4))
    for tag in b"fmt\0", b"fmt ", b"data":
        testing(f"a RIFF size that spells {tag}", T, (DONE, 0), S16[:4] + tag + S16[8:])
    testing("data as the last chunk the walk follows", T, (DONE, 0), NTH(MOST_CHUNKS))
    testing("data past that: the scan takes NOTE's", T, (DONE, 0), NTH(MOST_CHUNKS + 1))
    testing("an ID3v1 tag behind the samples", T, (DONE, 0), ID3V1)
    for bits, fits, sizes in (16, FITS(2), "fffffffe ffffffda"), (24, FITS(3), "ffffffff ffffffdb"):
        for frames, sizes in (fits, sizes), (fits + 1, "ffffffff ffffffff"):
            huge = HUGE.format(bits // 4 * frames), (f"{WRITE}{sizes}\n", 0), wav(2, bits, b"", 0, -1)
            testing(f"{frames} frames of {bits} bits: sizes in 32 bits", *huge, may_lose=True)
    for src in S16, S24, wav(1, 8, noise(9)):
        for n in range(44 + 16 + 1):  # cut in the header, and in the first frames
            testing(f"{num(src, 22, 2)} channels of {num(src, 34, 2)} bits, cut at {n}", T, MODEL, src[:n])
    testing("a mono source", T, (MONO, 1), wav(1, 16, noise(400)))
    testing("8-bit samples", T, (WIDTH, 1), wav(2, 8, noise(400)))
    testing("no data chunk", T, (NO_DATA, 2), S16[:36] + chunk(b"JUNK", noise(99)))
elif GROUP == "names":
    testing("a stem up to the first full stop", "$B live.take2.wav", (DONE, 0), S24, at="live.take2.wav")
    testing("a name without a full stop", "$B song", (DONE, 0), S24, at="song")
    testing("leading full stops of the name only", "$B d.x/.take.wav", (DONE, 0), S24, at="d.x/.take.wav")
    testing("outputs beside the source", "mkdir out; cd out; $B ../in/take.wav", (DONE, 0), S24, at="in/take.wav")
    longest = "n" * (NAME_MAX - len("L.wav")) + ".wav"
    testing("outputs of the longest name there is", "$B n*.wav", (DONE, 0), S24, at=longest)
    testing("outputs longer than any name can be", "$B n*.wav", (OPEN, 2), S24, at="n" + longest)
    for name in ".", "...", "sub/", "sub/..":
        testing(f"no stem in {name}", f"mkdir sub; $B {name}", (NAME, 2))
    testing("the name at the prompt", "$B", (P1 + DONE, 0), S16, "  take.wav other")
    testing("x after the help leaves", "$B", (P1 + HELP + P2, 1), S16, "h\nx\n")
    testing("h after the help is a name", "$B", (P1 + HELP + P2 + CANNOT("h"), 2), S16, "h\nh\n")
    testing("x at the first prompt is a name", "$B", (P1 + CANNOT("x"), 2), S16, "x\n")
    testing("no name before the input ends", "$B", (P1 + "\n", 1), S16, " \n\t")
    testing("the longest path there is", "$B", (P1 + CANNOT("a" * PATH_MAX), 2), S16, "a" * PATH_MAX)
    testing("longer than any path", "$B", (P1 + NAME, 2), S16, "a" * (PATH_MAX + 1))
    testing("a word without end", f"yes a | tr -d '\\n' | {TIMEOUT} $B", (P1 + NAME, 2))
elif GROUP == "faults":
    testing("a full disk", "ln -s /dev/full takeR.wav; $B take.wav", (WRITE, 2), S24)
    testing("a folder in an output's place", "mkdir takeR.wav; $B take.wav", (OPEN, 2), S24)
    testing("an output linked to the source", "ln -s take.wav takeL.wav; $B take.wav", (OPEN, 2), S24)
    testing("an output that is the source", "ln take.wav takeR.wav; $B take.wav", (OPEN, 2), S24)
    testing("outputs that are one file", "ln -s takeL.wav takeR.wav; $B take.wav", (OPEN, 2), S24)
    testing("a folder for a source", "rm take.wav; mkdir take.wav; $B take.wav", (READ, 2), may_lose=True)
    testing("a FIFO for a source", f"rm take.wav; mkfifo take.wav; {TIMEOUT} $B take.wav", (READ, 2), may_lose=True)
    socket = "python3 -c \"__import__('socket').socket(1).bind('take.wav')\""
    testing("a socket for a source", f"rm take.wav; {socket}; $B take.wav", (READ, 2), may_lose=True)
    null = "ln -s /dev/null takeL.wav; ln -s /dev/null takeR.wav; $B take.wav"
    testing("both outputs to /dev/null", null, (DONE, 0), S24)
    testing("standard input closed, so the source is opened as 0: done", "$B take.wav <&-", (DONE, 0), S16)
    old = "head -c 99999 /dev/zero | tee takeL.wav > takeR.wav; $B take.wav"  # outputs longer than the new ones
    testing("old outputs cut to the new", old, (DONE, 0), S24)
    testing("frames written through a mapping, no time moved", MIDWAY, (READ, 2), LONG, may_lose=True)
    grow = f"{MIDWAY} \"open('take.wav', 'ab').write(b'LIST')\""
    testing("grown during the right channel's copy", grow, (READ, 2), LONG, may_lose=True)
    swap = f'{MIDWAY} "a, m = {AT}, mapping; m[a : a + 4], m[a + 64 : a + 68] = m[a + 64 : a + 68], m[a : a + 4]"'
    testing("two frames of silence exchanged: Unable to read file.", swap, (READ, 2), QUIET, may_lose=True)
    pair = f'{MIDWAY} "mapping[{AT}] += 1; mapping[{AT} + 64] -= 1"'  # left samples of odd frames
    testing("one lane's words changed by +1 and -1: Unable to read file.", pair, (READ, 2), QUIET, may_lose=True)
    testing("chunks ahead of the samples moved: Unable to read file.", SHIFT, (READ, 2), MOVABLE, may_lose=True)
    rate = f'{MIDWAY} "mapping[26] = 1" L'  # 44100 Hz made 109636 while the split waits to write the left header
    testing("sample rate rewritten before the copies: Unable to read file.", rate, (READ, 2), S16, may_lose=True)
    fmt = f"{MIDWAY} \"mapping[12:16] = b'FMT '\" L"  # no format chunk when the header is read again
    testing("format chunk gone before the copies: Unable to read file.", fmt, (READ, 2), S16, may_lose=True)
    gone = (
        f"mkfifo takeL.wav; exec 3<>takeL.wav; {TIMEOUT} $B take.wav 3<&- & head -c 999 <&3 >/dev/null; exec 3<&-"
    )
    testing("an output's reader that leaves: Unable to write file.", gone + "; wait $!", (WRITE, 2), LONG)
elif GROUP == "loop":
    node = "mknod takeL.wav b $(stat -c '0x%t 0x%T' $d)"
    testing("an output that is a node of the source's device", LOOP.format(node), (OPEN, 2), SECTORS)
    testing(
        "frames written within the second, where times are seconds", f"{EXT4}; {SECOND}; exit $s", (READ, 2), LONG
    )
    bind = "mkdir t t2; mv take.wav t; mount --bind t t2; $SA t t2; s=$?; umount t2; wc -c < t/takeL.wav; exit $s"
    testing(
        "a folder bind-mounted beside itself: split once", bind, ("t/take.wav: done\n2044\n", 0), S16, may_lose=True
    )
elif GROUP == "batch":  # what the script prints, sorted (the splits run side by side), and its status
    ENV["NOBODY"] = "setpriv --reuid=nobody --regid=nogroup --clear-groups" if os.getuid() == 0 else ""
    X = S16 + wav(1, 8, b"m")  # a source, and a mono file behind it
    batch = lambda name, run, out: testing(name, f"({run}; echo $?) 2>&1 | sort", (out, 0), X, at="x")
    G, NO = "s/GUITAR.wav: done\n", "Permission denied\ns/t.wav: done\n"  # NO: a folder the user may not read
    guitar, mono = "mkdir s; cp x s/GUITAR.wav", f"tail -c +{len(S16) + 1} x > s/m.wav"
    put = "mkdir s; cp x s/{}; cp x s/{}; ".format
    two = lambda a, b: put(a, b) + "$SA s"
    clash = "1\ns/{}\ns/{}\nthese would write the same outputs:\n".format
    batch("two sources", two("GUITAR.wav", "ZOOM0001.WAV"), f"0\n{G}s/ZOOM0001.WAV: done\n")
    batch("an output, a mono file", f"{guitar}; touch s/GUITARL.wav; {mono}; $SA s", f"123\n{G}s/m.wav: {MONO}")
    batch("two sources, one stem", two("a.1.wav", "a.2.wav"), clash("a.1.wav", "a.2.wav"))
    batch("stems that differ in case", two("Take.1.wav", "take.2.wav"), clash("Take.1.wav", "take.2.wav"))
    batch("Unicode's case, in any locale", two("Écho.1.wav", "écho.2.wav"), clash("Écho.1.wav", "écho.2.wav"))
    batch("a source that is an output but for case", two("vocal.wav", "voca.wav"), clash("voca.wav", "vocal.wav"))
    folders = "mkdir Drums drums; cp x Drums/take.wav; cp x drums/take.wav; $SA Drums drums"
    batch("one stem in two folders that differ in case", folders, "0\nDrums/take.wav: done\ndrums/take.wav: done\n")
    absent = "mkdir s; cp x s/t.wav; MONOSPLIT=nowhere $SA s"
    batch("no program to run", absent, "1\nmonosplit-all: can't run nowhere; install monosplit or set MONOSPLIT\n")
    batch("no folder", "$SA s", "2\nfind: 's': No such file or directory\n")
    unread = "mkdir -p s/no; cp x s/t.wav; chmod -R a+rwX . ..; chmod 0 s/no; $NOBODY $SA s"
    batch("a folder that may not be read", unread, f"2\nfind: 's/no': {NO}")
    batch("a folder given through a link", f"{guitar}; ln -s s music; $SA music", "0\nmusic/GUITAR.wav: done\n")
    batch("one source, three ways", "mkdir -p s/d; cp x s/d/t.wav; $SA s s/d ./s", "0\ns/d/t.wav: done\n")
    own = "MONOSPLIT=../monosplit PATH=/usr/bin:/bin $SA s"  # the program named, and not on the PATH
    batch("a folder named .wav", f"{guitar}; mkdir s/Session.wav; {own}", f"0\n{G}")
    newline = "mkdir s; cp x 's/a\nb.wav'; cp x b.wav; echo old > bL.wav; $SA s && cat bL.wav"
    batch("a line break in a name", newline, "$'s/a\\nb.wav': done\n0\nold\n")
    if shutil.which("parallel"):  # as the README runs it on other machines, on this one, keeping both statuses
        machines = "printf '%s\\n' : > machines; bash -c 'set -o pipefail; $SA --list s | "
        machines += "parallel -0 --sshloginfile machines --tag monosplit'"
        batch("GNU parallel on the list", f"{guitar}; {machines}", "0\ns/GUITAR.wav\tdone\n")
        batch("a clash through GNU parallel", put("a.1.wav", "a.2.wav") + machines, clash("a.1.wav", "a.2.wav"))
    else:
        SKIPPED.append("parallel")
elif GROUP == "strace":
    ENV["ASAN_OPTIONS"] = ENV.get("ASAN_OPTIONS", "") + ":detect_leaks=0"  # LeakSanitizer cannot work under ptrace
    # The source's nth opening waits a second, while it is changed: another take (o) is put in its place, say.
    delay = "strace -f -o /dev/null -P $PWD/take.wav -e trace=openat -e inject=openat:delay_enter=1000000:when="
    other = "cp take.wav o; printf LIST | dd of=o bs=1 seek=999 conv=notrunc status=none"
    missing = CANNOT(CASE + "/take.wav")
    for n, what, change, out in [
        (LEFT, "grown", "head -c 999 /dev/zero >> take.wav", READ),
        (MEASURE, "cut short", "truncate -s 999 take.wav", READ),
        (MEASURE, "removed", "rm take.wav", missing),
        *((n, "replaced", "mv o take.wav", READ) for n in (MEASURE, LEFT, RIGHT, AGAIN)),
        *((n, "rewritten", "cp o take.wav", READ) for n in (MEASURE, LEFT, RIGHT, AGAIN)),
        *((n, "a FIFO", "rm take.wav; mkfifo take.wav", READ) for n in (MEASURE, LEFT, RIGHT)),
    ]:
        command = f"{other}; (sleep .4; {change}) & {TIMEOUT} {delay}{n} $B $PWD/take.wav"
        testing(f"{what} before {OPENING[n]} opens it: {out.strip()}", command, (out, 2), S24, may_lose=True)
    # Only the header and the last samples end off a page of the output: the first block brings it to one.
    writes = "strace -qq -o log -e trace=write -P $PWD/takeL.wav $B take.wav; "
    writes += f"awk -F'= ' '(at += $NF) % {PAGE} {{n++}} END {{print n}}' log"
    testing("writes that fill whole pages", writes, (DONE + "2\n", 0), wav(2, 24, noise(6 * EDGES[24][-1])))
    # The data chunk's header starts 4 bytes before 40960, past the bytes the header reader takes at once: stdio
    # reads ahead in pieces of the file system's block, 4096 bytes, so the 4 behind that edge take a read that can
    # fail.
    source = S24[:36] + chunk(b"LIST", b"x" * (10 * 4096 - 36 - 8 - 4)) + S24[36:] + chunk(b"LIST", b"x")
    STRACE = "strace -f -y -o log -P $PWD/take.wav -P $PWD/takeL.wav -P $PWD/takeR.wav"
    for call in "openat", "read", "write", "lseek", "close", "newfstatat", "fcntl":
        for n in range(1, 99):  # until no call is left to fail
            inject = f"{STRACE} -e inject={call}:error=EIO:when={n} -e trace={call} $B $PWD/take.wav"
            got = testing(f"{call} number {n} failing: a known failure or done", inject, FAULTED, source)
            # A write or close of an output that failed can never end in "done".
            lost = re.search(rb"(write|close)\(\d+<[^>]*take[LR]\.wav>.*INJECTED", read(CASE + "/log"))
            check(f"{call} number {n} failing on an output: never done", not lost or got[1] == 2)
            if b"INJECTED" not in read(CASE + "/log"):
                break
        check(f"{call} fails somewhere", n > 1)
elif GROUP.startswith("hostile"):  # in halves of 1000 sources, one from each seed, run side by side
    rnd, ends = random.Random(int(GROUP[-1])), collections.Counter()
    damage = [b"fmt ", b"data", le(2, 2), le(24, 2), b"", b"s", b"LIST", b"\x7f", le(UNKNOWN, 4), b" \0\0\0"]
    ids, bodies = (b"LIST", b"bext", b"\0bad"), (b"..data", b"xfmt ", b"x")  # bodies are repeated 1 or 3000 times
    for i in range(1000):  # chunk lists as writers leave them, and a few sources of noise; then damage
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
        for _ in range(rnd.choice((0, 0, 1, 2, 4))):  # in the header often, anywhere, or just before the end
            at = rnd.choice([rnd.randrange(49)] * 5 + [rnd.randrange(len(src) + 1), len(src) - 9])
            src[at : at + 4] = rnd.choice(damage)
        ends[testing(f"damaged source {i} of seed {GROUP[-1]}: as the model says", T, MODEL, bytes(src))[1]] += 1
    check("every end is reached", min(ends.values()) > 100 and len(ends) == 3, f"statuses: {ends}")
    check("every rule is met", len(RULES) == 4 and min(RULES.values()) > 10, str(RULES))
elif GROUP == "peers":  # files as common writers leave them, each output the same as sox's reading of its channel
    ff = "ffmpeg -v error -f lavfi -i sine=r=48000:d=0.4 -f lavfi -i anoisesrc=r=48000:d=0.4 -filter_complex amerge"
    comment = "$(python3 -c \"print(('Notes: fmt, data.  ' * 900)[:16500])\")"  # past 15000, where no scan reaches
    ff += f' -y -c:a pcm_s{{}}le -write_bext 1 -metadata comment="{comment}" p.wav'
    tone = "sox -n -r 48000 -b 24 -c 2 q.wav synth .5 sine 440 pinknoise && sndfile-"
    title = "&& sndfile-metadata-set --str-title 'Take three' p.wav"
    for name, make in [
        ("sox, ID3v1", "sox -n -r 44100 -b 16 -c 2 p.wav synth .6 sine 440 whitenoise && id3v2 -1 -a Artist p.wav"),
        *((f"ffmpeg {bits}-bit, a comment past 15000", ff.format(bits)) for bits in (16, 24)),
        ("libsndfile, a title", f"{tone}convert -pcm16 q.wav p.wav {title}"),
        (
            "libsndfile, bext",
            tone + "metadata-set --bext-description 'Tone, metadata ok' --str-comment 'fmt and data' q.wav p.wav",
        ),
        ("libsndfile, RF64", f"{tone}convert -pcm24 q.wav p.rf64 && mv p.rf64 p.wav {title}"),
    ]:
        subprocess.run(make, shell=True, cwd=ROOT, check=True, stderr=subprocess.DEVNULL)
        compare = "sox take.wav -D -t raw c remix $c; sox take$(echo $c | tr 12 LR).wav -D -t raw - | cmp - c"
        testing(name, f"$B take.wav && for c in 1 2; do {compare}; done", (DONE, 0), read(ROOT + "/p.wav"))
else:
    check(f"a group called {GROUP}", False)
shutil.rmtree(ROOT, True)
print(f"{GROUP}: {CASES['passed']} passed, {CASES['failed']} failed" + ", 1 skipped" * bool(SKIPPED))
if SKIPPED and not FAILS:
    sys.exit(print("skipped the cases that need", *SKIPPED) or 77)
sys.exit(1 if FAILS else 0)
