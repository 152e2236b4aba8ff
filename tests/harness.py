# What every group of the suite shares: monosplit run as a user runs it, one case a line as BusyBox's `testing` has
# them, and a small model of the split that says what each source must give. A group is a file test_GROUP.py here:
#   python3 tests/test_GROUP.py PROGRAM [EMULATOR ...]    exit status 77: skipped, for want of a tool
# Every run must leave standard error empty and the source as it was, unless the case says it may lose it, and a run
# whose last line is "done" must leave both outputs exactly as the model says.
import collections, mmap, os, random, shutil, subprocess, sys, tempfile, time

GROUP = os.path.splitext(os.path.basename(sys.argv[0]))[0].removeprefix("test_")
PROGRAM, EMULATOR = os.path.abspath(sys.argv[1]), sys.argv[2:]
TESTS = os.path.dirname(os.path.abspath(__file__))
ROOT = tempfile.mkdtemp(prefix="monosplit-")
CASE, B = ROOT + "/case", ROOT + "/monosplit"
ENV = dict(os.environ, LC_ALL="C", B=B, PATH=ROOT + ":" + os.environ["PATH"])

P1, P2 = "\nEnter the name of .wav file or 'h' for help: ", "\nEnter the name of .wav file or 'x' to exit: "
NO_FMT, NO_DATA = "Can't find format chunk in wave file!\n", "Can't find data block in wave file!\n"
MONO, WIDTH = "The file you want to convert is not a stereo track!\n", "24 bit or 16 bit wave files only!\n"
OPEN, READ, WRITE = "Unable to open file.\n", "Unable to read file.\n", "Unable to write file.\n"
NAME, DONE = "Filename error: looking for format of type name.wav\n", "done\n"
CANNOT = "Cannot find file in track list called {}!!\n".format
MODEL = "what the model says"
FAILS, RULES, CASES = [], collections.Counter(), collections.Counter()

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


# Sources most groups split: 16-bit at 44.1 kHz, 24-bit at 96 kHz, and 24-bit of three blocks' bytes of frames,
# which the copier reads in four (the first short), so that a split changed halfway still has blocks to read.
S16, S24 = wav(2, 16, noise(1000 * 4)), wav(2, 24, noise(1001 * 6, 2), 96000)
LONG = wav(2, 24, noise(3 * 786432))


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


def shell(command, stdin=""):
    r = subprocess.run(command, shell=True, input=stdin.encode(), capture_output=True, env=ENV)
    return r.stdout, r.stderr, r.returncode


def check(what, ok, detail=""):
    ok or FAILS.append(what) or print("FAIL", what, detail[:2000])


def outputs_as_modelled(stem, src):
    kept = lambda p: not os.path.islink(p) and (os.path.isfile(p) or not os.path.exists(p))  # a file, or none
    return all(read(p) == o for p, o in zip([stem + "L.wav", stem + "R.wav"], model(src)[2:] or (1, 1)) if kept(p))


# Runs command in a fresh folder holding source as `at`, and checks what it printed and its status against want:
# (stdout, status) or MODEL. The command is a line for the shell ($B is the program), or a function of none that
# runs in that folder and returns (stdout, stderr, status). An output that is a link, a FIFO or a device is not
# compared.
def testing(name, command, want, source=b"", stdin="", at="take.wav", may_lose=False):
    shutil.rmtree(CASE, True)
    failed = len(FAILS)
    os.makedirs(os.path.dirname(f"{CASE}/{at}"), exist_ok=True)
    open(f"{CASE}/{at}", "wb").write(source)
    os.chdir(CASE)
    out, err, status = command() if callable(command) else shell(command, stdin)
    os.chdir(ROOT)
    got, says = (out.decode(errors="replace"), status), model(source)
    expected = says[:2] if want == MODEL else want
    check(name, got == expected and not err, f"{command}: got {got}, want {expected}, stderr {err[:300]}")
    check(name + ": the source is kept", may_lose or read(f"{CASE}/{at}") == source)
    stem = f"{CASE}/{os.path.dirname(at)}/" + os.path.basename(at).lstrip(".").split(".")[0]
    done = got[1] == 0 and ("\n" + got[0]).endswith("\n" + DONE)
    check(name + ": outputs", not done or outputs_as_modelled(stem, source))
    refused = got[1] == 1 or got[0] in (NO_FMT, NO_DATA)
    check(name + ": no outputs", not refused or not os.path.exists(stem + "L.wav"))
    CASES["failed" if len(FAILS) > failed else "passed"] += 1
    return got


# A split of take.wav that waits on the output FIFO while change(mapping) is made to the source, through a mapping
# whose every page was written before the split began (so that a write through it moves none of its times): once
# the FIFO's channel has had its first sample written, or with before while the split waits to write its header.
# With the right output the FIFO, that is halfway through the split; with the left one and before, it is before
# either copy reads. What the change returns is printed before what the split says.
def midway(change, fifo="takeR.wav", before=False, seconds=20):
    def run():
        source = os.open("take.wav", os.O_RDWR)
        mapping = mmap.mmap(source, 0)
        mapping[:] = mapping[:]
        os.mkfifo(fifo)
        split = subprocess.Popen([B, "take.wav"], stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=ENV)
        while before and open(f"/proc/{split.pid}/wchan").read() != "wait_for_partner":
            time.sleep(0.01)
        pending, said, end = not before, change(mapping) if before else b"", time.time() + seconds
        output, got = os.open(fifo, os.O_RDONLY | os.O_NONBLOCK), 0
        while split.poll() is None and time.time() < end:
            try:  # the header and a byte of samples first; none while the FIFO has no writer
                more = len(os.read(output, 45 - got if pending else 1 << 16))
            except BlockingIOError:
                more = 0
            got += more
            if pending and got == 45:
                pending, said = False, change(mapping)
            time.sleep(0 if more else 0.01)
        split.kill()
        out, err = split.communicate()
        mapping.close(), os.close(source), os.close(output)
        return (said if type(said) is bytes else b"") + out, err, split.wait()

    return run


def needs(*tools, root=False):
    lacking = [tool for tool in tools if not shutil.which(tool)] + ["root"] * (root and os.getuid() != 0)
    lacking and sys.exit(print("skipped: this needs", *lacking) or 77)


# Ends the group with a line counting its cases.
def finish():
    shutil.rmtree(ROOT, True)
    sys.exit(print(f"{GROUP}: {CASES['passed']} passed, {CASES['failed']} failed") or bool(FAILS))


# A copy of the program, which the user the batch group runs as can reach wherever the build is; one built for
# another machine runs through its emulator. The batch script goes beside it, under its installed name.
shutil.copy(PROGRAM, ROOT + "/program")
open(B, "w").write(f'#!/bin/sh\nexec {" ".join(EMULATOR)} {ROOT}/program "$@"\n')
os.chmod(B, 0o755)
ENV["SA"] = shutil.copy(TESTS + "/../examples/split-all", ROOT + "/monosplit-all")
