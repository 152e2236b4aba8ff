# Block devices and file systems of their own, which take root: a loop device as the source, a bind mount and an
# exFAT card.
from harness import *

needs("losetup", "mknod", "mkfs.exfat", "mount.exfat-fuse", root=True)
LOOP = "mv take.wav t; d=$(losetup -f --show t); ln -s $d take.wav; {}; $B take.wav; s=$?"
LOOP += "; losetup -d $d; mv t take.wav; exit $s"
node, sectors = LOOP.format("mknod takeL.wav b $(stat -c '0x%t 0x%T' $d)"), S24 + bytes(-len(S24) % 512)
testing("an output that is a node of the source's device", node, (OPEN, 2), sectors)  # a device of whole sectors


bind = "mkdir t t2; cp take.wav t; mount --bind t t2; $SA t t2; s=$?; umount t2; wc -c < t/takeL.wav; exit $s"
testing("a folder bind-mounted beside itself: split once", bind, ("t/take.wav: done\n2044\n", 0), S16)
# exFAT's up-case table makes the final sigma one letter with the others.
exfat = "truncate -s 8M fs; mkfs.exfat fs >/dev/null; d=$(losetup -f --show fs); mkdir m; mount.exfat-fuse $d m"
exfat += " 2>/dev/null; cp take.wav m/ΦΩΝΗΣ.1.wav; cp take.wav m/φωνης.2.wav; $SA m 2>&1; s=$?; umount m"
clash = "these would write the same outputs:\nm/ΦΩΝΗΣ.1.wav\nm/φωνης.2.wav\n1\n"
testing("names an exFAT card makes one: a clash", exfat + "; losetup -d $d; echo $s", (clash, 0), S16)
finish()
