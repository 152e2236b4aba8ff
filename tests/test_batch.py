# monosplit-all: which files are sources, which clash, and what it prints (sorted: the splits run side by side)
# and its status.
from harness import *

needs("parallel")

ENV["NOBODY"] = "setpriv --reuid=nobody --regid=nogroup --clear-groups" if os.getuid() == 0 else ""
X = wav(2, 16, noise(1000 * 4)) + wav(1, 8, b"m")  # a source, and a mono file behind it
batch = lambda name, run, out: testing(name, f"({run}; echo $?) 2>&1 | sort", (out, 0), X, at="x")
G, guitar = "s/GUITAR.wav: done\n", "mkdir s; cp x s/GUITAR.wav"
put = "mkdir s; cp x s/{}; cp x s/{}; ".format
two = lambda a, b: put(a, b) + "$SA s"
clash = "1\ns/{}\ns/{}\nthese would write the same outputs:\n".format
batch("two sources", two("GUITAR.wav", "ZOOM0001.WAV"), f"0\n{G}s/ZOOM0001.WAV: done\n")
mono = "tail -c 45 x > s/m.wav"  # the mono file alone
batch("an output, a mono file", f"{guitar}; touch s/GUITARL.wav; {mono}; $SA s", f"123\n{G}s/m.wav: {MONO}")
batch("two sources, one stem", two("a.1.wav", "a.2.wav"), clash("a.1.wav", "a.2.wav"))
batch("names that differ in case", two("Take.wav", "take.WAV"), clash("Take.wav", "take.WAV"))
batch("Unicode's case, in any locale", two("Écho.1.wav", "écho.2.wav"), clash("Écho.1.wav", "écho.2.wav"))
kelvin = f"0\ns/k.wav: done\ns/\u212a.wav: done\n"  # the Kelvin sign, which exFAT keeps apart from k
batch("the Kelvin sign beside k: two sources", two("\u212a.wav", "k.wav"), kelvin)
batch("a source that is an output but for case", two("vocal.wav", "voca.wav"), clash("voca.wav", "vocal.wav"))
folders = "mkdir Drums drums; cp x Drums/take.wav; cp x drums/take.wav; $SA Drums drums"
batch("one stem in two folders that differ in case", folders, "0\nDrums/take.wav: done\ndrums/take.wav: done\n")
absent = "mkdir s; cp x s/t.wav; MONOSPLIT=nowhere $SA s"
batch("no program to run", absent, "1\nmonosplit-all: can't run nowhere; install monosplit or set MONOSPLIT\n")
batch("no folder", "$SA s", "2\nfind: 's': No such file or directory\n")
unread = "mkdir -p s/no; cp x s/t.wav; chmod -R a+rwX . ..; chmod 0 s/no; $NOBODY $SA s"
batch("a folder that may not be read", unread, "2\nfind: 's/no': Permission denied\ns/t.wav: done\n")
batch("a folder given through a link", f"{guitar}; ln -s s music; $SA music", "0\nmusic/GUITAR.wav: done\n")
batch("one source, three ways", "mkdir -p s/d; cp x s/d/t.wav; $SA s s/d ./s", "0\ns/d/t.wav: done\n")
batch("a source named instead of a folder", f"{guitar}; $SA s/GUITAR.wav", f"0\n{G}")
own = "MONOSPLIT=../monosplit PATH=/usr/bin:/bin $SA s"  # the program named, and not on the PATH
batch("a folder named .wav", f"{guitar}; mkdir s/Session.wav; {own}", f"0\n{G}")
newline = "mkdir s; cp x 's/b\n.wav'; cp x s/b.wav; $SA s"
batch("a line break that ends a stem: two sources", newline, "$'s/b\\n.wav': done\n0\ns/b.wav: done\n")
gone = 'printf \'#!/bin/sh\\nrm -- "$1"\\nexec $B "$1"\\n\' > gone; chmod +x gone; '  # splits a source it removed
gone += "mkdir s; cp x 's/a\nb.wav'; MONOSPLIT=$PWD/gone $SA s"
said = "$'s/a\\nb.wav': $'Cannot find file in track list called s/a\\nb.wav!!'\n123\n"
batch("what monosplit said of a name with a line break, on one line", gone, said)


# Two runs at once on one folder of four sources, three times over: every line a run prints says "done" or
# "Unable to write file.", every source is split by one run at least, and every output is as the model says.
def two_batches():
    os.mkdir("s")
    sources, lines, right = [f"s/t{i}.wav" for i in range(4)], [], True
    for _ in range(3):
        [shutil.copy("x", source) for source in sources]
        runs = [subprocess.Popen([ENV["SA"], "s"], stdout=subprocess.PIPE, env=ENV) for _ in "ab"]
        lines += b"".join(r.communicate()[0] for r in runs).decode().splitlines()
        right = right and all(outputs_as_modelled(source[:-4], read("x")) for source in sources)
    known = {line.split(": ")[1] for line in lines} <= {"done", "Unable to write file."}
    split = {line.split(": ")[0] for line in lines if line.endswith(": done")} == set(sources)
    return f"{len(lines)} reports, known: {known}, each split: {split}, right: {right}\n".encode(), b"", 0


each = "24 reports, known: True, each split: True, right: True\n"
testing("two runs at once: done or Unable to write file., never mixed", two_batches, (each, 0), LONG, at="x")
# As the README runs it on other machines, on this one, keeping both statuses.
machines = "printf '%s\\n' : > machines; bash -c 'set -o pipefail; $SA --list s | "
machines += "parallel -0 --sshloginfile machines monosplit-all'"
batch("GNU parallel on the list", f"{guitar}; {machines}", f"0\n{G}")
batch("a clash through GNU parallel", put("a.1.wav", "a.2.wav") + machines, clash("a.1.wav", "a.2.wav"))
finish()
