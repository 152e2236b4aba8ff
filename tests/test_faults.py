# Sources and outputs that are not what a split can use, and changes made to either while the split runs.
from harness import *

testing("a full disk", "ln -s /dev/full takeR.wav; $B take.wav", (WRITE, 2), S24)
testing("a folder in an output's place", "mkdir takeR.wav; $B take.wav", (OPEN, 2), S24)
testing("an output that is the source", "ln take.wav takeR.wav; $B take.wav", (OPEN, 2), S24)
testing("outputs that are one file", "ln -s takeL.wav takeR.wav; $B take.wav", (OPEN, 2), S24)
socket = "python3 -c \"__import__('socket').socket(1).bind('take.wav')\""  # there, but no open() takes it
for kind, make in ("folder", "mkdir take.wav"), ("FIFO", "mkfifo take.wav"), ("socket", socket):
    testing(f"a {kind} for a source", f"rm take.wav; {make}; timeout 20 $B take.wav", (READ, 2), may_lose=True)
null = "ln -s /dev/null takeL.wav; ln -s /dev/null takeR.wav; $B take.wav"
testing("both outputs to /dev/null", null, (DONE, 0), S24)
testing("standard input closed, so the source is opened as 0: done", "$B take.wav <&-", (DONE, 0), S16)
old = "head -c 99999 /dev/zero | tee takeL.wav > takeR.wav; $B take.wav"  # outputs longer than the new ones
testing("old outputs cut to the new", old, (DONE, 0), S24)
gone = "mkfifo takeL.wav; exec 3<>takeL.wav; timeout 20 $B take.wav 3<&- & head -c 999 <&3 >/dev/null; exec 3<&-"
testing("an output's reader that leaves: Unable to write file.", gone + "; wait $!", (WRITE, 2), LONG)


# Changes made midway, to the source through its mapping m or to an output, each a split's row: changed(what it
# checks, the change, the output and status expected, the source, where midway makes the change).
def changed(name, change, want, source, fifo="takeR.wav", before=False):
    testing(name, midway(change, fifo, before), want, source, may_lose=True)


another_split = lambda m: subprocess.run([B, "take.wav"], capture_output=True, timeout=10, env=ENV).stdout


last_frame_rewritten = lambda m: m.seek(-4, 2) or m.write(b"ZZZZ")
grown = lambda m: open("take.wav", "ab").write(b"LIST")
rewritten = lambda at, data: lambda m: m.seek(at) or m.write(data)  # bytes of the source at `at`
appended = lambda output: lambda m: open(output, "ab").write(b"x")
left_cut = lambda m: os.truncate("takeL.wav", 44)
early = dict(fifo="takeL.wav", before=True)  # while the split waits to write the left header
late = dict(fifo="takeL.wav")  # once the left copy has written its first sample
changed("frames written through a mapping, no time moved", last_frame_rewritten, (READ, 2), LONG)
changed("grown during the right channel's copy", grown, (READ, 2), LONG)
# RIFF, fmt, JUNK(100), data and LIST(212), changed to a JUNK 12 bytes longer and a LIST 12 shorter: the same
# samples, 12 bytes further on.
MOVABLE = S16[:36] + chunk(b"JUNK", bytes(100)) + S16[36:] + chunk(b"LIST", noise(212))
moved = lambda m: m.seek(40) or m.write(le(112, 4) + m[44:144] + bytes(12) + m[144:-216] + le(200, 4) + m[-212:-12])
changed("chunks ahead of the samples moved: Unable to read file.", moved, (READ, 2), MOVABLE, **early)
# Before the copies: 44100 Hz made 109636, the format chunk's id changed, so that there is none when the header is
# read again, and 16 bits made 24.
changed("sample rate rewritten: Unable to read file.", rewritten(26, b"\1"), (READ, 2), S16, **early)
changed("format chunk gone: Unable to read file.", rewritten(12, b"FMT "), (READ, 2), S16, **early)
changed("sample width rewritten: Unable to read file.", rewritten(34, b"\x18"), (READ, 2), S16, **early)
unlisted = lambda m: m.seek(-220, 2) or m.write(b"\0")  # the samples then run to the end of the file
changed("the chunk behind the samples renamed: Unable to read file.", unlisted, (READ, 2), MOVABLE, **early)
changed("the left output appended to meanwhile: Unable to write file.", appended("takeL.wav"), (WRITE, 2), LONG)
changed("the left output cut meanwhile: Unable to write file.", left_cut, (WRITE, 2), LONG)
changed("the right output appended to: Unable to write file.", appended("takeR.wav"), (WRITE, 2), LONG, **late)
changed("a second split of the source meanwhile ends at once", another_split, (WRITE + DONE, 0), LONG)
finish()
