# The names of the outputs, and the source's name as the command line and the prompts take it.
import re
from harness import *

PATH_MAX, NAME_MAX = 4096, 255  # Linux's limits
testing("a stem up to the first full stop", "$B live.take2.wav", (DONE, 0), S24, at="live.take2.wav")
testing("a name without a full stop", "$B song", (DONE, 0), S24, at="song")
testing("leading full stops of the name only", "$B d.x/.take.wav", (DONE, 0), S24, at="d.x/.take.wav")
testing("outputs beside the source", "mkdir out; cd out; $B ../in/take.wav", (DONE, 0), S24, at="in/take.wav")
longest = "n" * (NAME_MAX - len("L.wav")) + ".wav"
testing("outputs of the longest name there is", "$B n*.wav", (DONE, 0), S24, at=longest)
testing("outputs longer than any name can be", "$B n*.wav", (OPEN, 2), S24, at="n" + longest)
for name in ".", "...", "sub/", "sub/..":
    testing(f"no stem in {name}", f"mkdir sub; $B {name}", (NAME, 2))

# The help, whose last line is the version of the changelog's newest entry.
version = re.match(r"monosplit \(([^)]+)\)", open(TESTS + "/../packaging/changelog").read())[1]
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
monosplit {version}
"""
testing("the name at the prompt", "$B", (P1 + DONE, 0), S16, "  take.wav other")
testing("x after the help leaves", "$B", (P1 + HELP + P2, 1), S16, "h\nx\n")
testing("h after the help is a name", "$B", (P1 + HELP + P2 + CANNOT("h"), 2), S16, "h\nh\n")
testing("x at the first prompt is a name", "$B", (P1 + CANNOT("x"), 2), S16, "x\n")
testing("no name before the input ends", "$B", (P1 + "\n", 1), S16, " \n\t")
testing("the longest path there is", "$B", (P1 + CANNOT("a" * PATH_MAX), 2), S16, "a" * PATH_MAX)
testing("longer than any path", "$B", (P1 + NAME, 2), S16, "a" * (PATH_MAX + 1))
testing("a word without end", "yes a | tr -d '\\n' | timeout 20 $B", (P1 + NAME, 2))
finish()
