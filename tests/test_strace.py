# The program's system calls made to fail or wait, through strace: each failure must end in its one known line,
# and a source changed while a split opens it must not pass for the file it was.
from harness import *

needs("strace")
ENV["ASAN_OPTIONS"] = ENV.get("ASAN_OPTIONS", "") + ":detect_leaks=0"  # LeakSanitizer cannot work under ptrace
# The source's nth opening waits a second, while it is changed: another take (o) is put in its place, say. The
# header is read at the first opening, its size measured at the second, each channel copied at the third (left)
# and the fourth (right), the header read once more at the fifth.
MEASURE, LEFT, RIGHT, AGAIN = 2, 3, 4, 5
OPENING = {MEASURE: "its size is measured", LEFT: "the left copy", RIGHT: "the right copy", AGAIN: "its check"}
delay = "strace -f -o /dev/null -P $PWD/take.wav -e trace=openat -e inject=openat:delay_enter=1000000:when="
other = "cp take.wav o; printf LIST | dd of=o bs=1 seek=999 conv=notrunc status=none"
for what, change, openings, out in [
    ("grown", "head -c 999 /dev/zero >> take.wav", [LEFT], READ),
    ("cut short", "truncate -s 999 take.wav", [MEASURE], READ),
    ("removed", "rm take.wav", [MEASURE], CANNOT(CASE + "/take.wav")),
    ("replaced", "mv o take.wav", [MEASURE, LEFT, RIGHT, AGAIN], READ),
    ("rewritten", "cp o take.wav", [MEASURE, LEFT, RIGHT, AGAIN], READ),
    ("a FIFO", "rm take.wav; mkfifo take.wav", [MEASURE, LEFT, RIGHT], READ),
]:
    for n in openings:
        command = f"{other}; (sleep .4; {change}) & timeout 20 {delay}{n} $B $PWD/take.wav"
        testing(f"{what} before {OPENING[n]} opens it: {out.strip()}", command, (out, 2), S24, may_lose=True)

# Each call of the program's to the source or an output made to fail in turn, with the line its failure must give:
# M the source is missing (its first two openings and its last), O "Unable to open file." (an output's, or a
# seek inside an opening for appending), R "Unable to read file." (any other call to the source), W "Unable to write
# file." (any other call to an output once its header is to be written), and "done" for a close of the source,
# whose result can't change what was read, for a lock a file system can't take, and past the last call. The data
# chunk's header starts 4 bytes before 40960, past the bytes the header is first read in.
LINE = {"M": CANNOT(CASE + "/take.wav"), "O": OPEN, "R": READ, "W": WRITE, "d": DONE}
# openat: the source twice, the claims, the headers, the copies (output, then source), the check, the measure again.
# write: the headers, then each channel's one block. newfstatat: the source's and the outputs' as they are opened,
# and the outputs by name when their names are checked and once more before "done".
FAILING = dict(openat="MMOOOOOOOOOM", read="R" * 10, write="WWWW", lseek="RRRORORRRR", close="ddWWdWdWdd")
FAILING.update(newfstatat="RRROOOOOOWWRWRWRWRWRRWW", fcntl="R" * 12, flock="dd")
source = S24[:36] + chunk(b"LIST", b"x" * (10 * 4096 - 36 - 8 - 4)) + S24[36:] + chunk(b"LIST", b"x")
STRACE = "strace -f -o log -P $PWD/take.wav -P $PWD/takeL.wav -P $PWD/takeR.wav"
for call, lines in FAILING.items():
    for n, code in enumerate(lines + "d", 1):
        inject = f"{STRACE} -e inject={call}:error=EIO:when={n} -e trace={call} $B $PWD/take.wav"
        testing(f"{call} number {n} failing: {LINE[code].strip()}", inject, (LINE[code], 2 * (code != "d")), source)
finish()
