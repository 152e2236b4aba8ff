# Files as common writers leave them, each output the same as sox's reading of its channel.
from harness import *

needs("sox", "ffmpeg", "sndfile-convert", "id3v2")
ff = "ffmpeg -v error -f lavfi -i sine=r=48000:d=0.4 -f lavfi -i anoisesrc=r=48000:d=0.4 -filter_complex amerge"
comment = "$(python3 -c \"print(('Notes: fmt, data.  ' * 900)[:16500])\")"  # past 15000, where no scan reaches
ff += f' -y -c:a pcm_s{{}}le -write_bext 1 -metadata comment="{comment}" p.wav'
tone = "sox -n -r 48000 -b 24 -c 2 q.wav synth .5 sine 440 pinknoise && sndfile-"
title = "&& sndfile-metadata-set --str-title 'Take three' p.wav"
for name, make in [
    ("sox, ID3v1", "sox -n -r 44100 -b 16 -c 2 p.wav synth .6 sine 440 whitenoise && id3v2 -1 -a Artist p.wav"),
    *((f"ffmpeg {bits}-bit, a comment past 15000", ff.format(bits)) for bits in (16, 24)),
    ("libsndfile, a title", f"{tone}convert -pcm16 q.wav p.wav {title}"),
    ("libsndfile, bext", f"{tone}metadata-set --bext-description 'Tone' --str-comment 'fmt and data' q.wav p.wav"),
    ("libsndfile, RF64", f"{tone}convert -pcm24 q.wav p.rf64 && mv p.rf64 p.wav {title}"),
]:
    subprocess.run(make, shell=True, cwd=ROOT, check=True, stderr=subprocess.DEVNULL)
    compare = "sox take.wav -D -t raw c remix $c; sox take$(echo $c | tr 12 LR).wav -D -t raw - | cmp - c"
    testing(name, f"$B take.wav && for c in 1 2; do {compare}; done", (DONE, 0), read(ROOT + "/p.wav"))
finish()
