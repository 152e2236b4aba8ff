# monosplit-all: which files are sources, which clash, and what it prints (sorted: the splits run side by side)
# and its status.
from harness import *

needs("parallel")

ENV["NOBODY"] = "setpriv --reuid=nobody --regid=nogroup --clear-groups" if os.getuid() == 0 else ""
X = wav(2, 16, noise(1000 * 4)) + wav(1, 8, b"m")  # a source, and a mono file behind it
batch = lambda name, run, out: testing(name, f"({run}; echo $?) 2>&1 | sort", (out, 0), X, at="x")
G, NO = "s/GUITAR.wav: done\n", "Permission denied\ns/t.wav: done\n"  # NO: a folder the user may not read
guitar, mono = "mkdir s; cp x s/GUITAR.wav", f"tail -c 45 x > s/m.wav"
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
# As the README runs it on other machines, on this one, keeping both statuses.
machines = "printf '%s\\n' : > machines; bash -c 'set -o pipefail; $SA --list s | "
machines += "parallel -0 --sshloginfile machines --tag monosplit'"
batch("GNU parallel on the list", f"{guitar}; {machines}", "0\ns/GUITAR.wav\tdone\n")
batch("a clash through GNU parallel", put("a.1.wav", "a.2.wav") + machines, clash("a.1.wav", "a.2.wav"))
finish()
