#!/bin/bash
# groobler-test.sh GROOBLER MAKE_EXAMPLE WORK FSYNC_FAILS SLOW_TEMPORARY: the stand-in
# host on the command line: what it writes, what it refuses with which exit
# status and message, and that it never touches a file the user did not
# name. Every file it writes is read again by mido, a reader of others.
groobler=$1
make_example=$2
work=$3
fsync_fails=$4
slow_temporary=$5
rm -rf "$work" && mkdir -p "$work/files" && cd "$work/files" || exit 1
err=$work/err.txt
status=0
fail() { echo "FAIL: $*"; status=1; }

python3 "$make_example" in.mid || { echo "cannot make the example"; exit 1; }

"$groobler" --help | grep -q "usage: groobler" || fail "--help shows no usage"
"$groobler" --help >/dev/null || fail "--help exits $?"
# No test switch reaches users: the program reads nothing of the tests'.
grep -q -a GROOBLER_TEST "$groobler" && fail "a test switch is built into groobler"
"$groobler" --strengths 0,0,0 --seed 1 in.mid same.mid >/dev/null || fail "strengths 0 run failed"
cmp -s in.mid same.mid || fail "strengths 0,0,0 changed the file"

"$groobler" --strengths 60,40,60 --seed 7 in.mid a.mid > a.txt || fail "a run failed"
"$groobler" --strengths 60,40,60 --seed 7 in.mid b.mid >/dev/null || fail "a second run failed"
"$groobler" --strengths 60,40,60 --seed 8 in.mid c.mid >/dev/null || fail "a third run failed"
"$groobler" --strengths 60,40,60 in.mid d.mid > d.txt || fail "a run without a seed failed"
"$groobler" --strengths 60,40,60 in.mid e.mid >/dev/null || fail "a second run without a seed failed"
cmp -s a.mid b.mid || fail "the same seed gave different files"
cmp -s a.mid c.mid && fail "another seed gave the same file"
cmp -s a.mid in.mid && fail "strengths 60,40,60 changed nothing"
cmp -s d.mid e.mid || fail "the seed made from the notes differs between runs"
grep -q "notes humanized into a.mid" a.txt || fail "no summary: $(cat a.txt)"
# Seeds at the ends of the range, or whose generator states were once alike, differ.
for seed in 0 1 1234567 2147483645 2147483646; do
    "$groobler" --strengths 60,40,60 --seed $seed in.mid seed-$seed.mid >/dev/null || fail "seed $seed failed"
done
[ "$(md5sum seed-*.mid | cut -d' ' -f1 | sort -u | wc -l)" -eq 5 ] || fail "seeds 0, 1, 1234567, 2^31-3, 2^31-2 gave alike files"
grep -q "(from the notes)" d.txt || fail "no word of the seed's origin: $(cat d.txt)"
# The drums of channel 10 left alone: only the other channels change.
"$groobler" --strengths 99,99,99 --seed 3 --channels 1-9,11-16 in.mid f.mid >/dev/null || fail "--channels run failed"
"$groobler" --strengths 99,99,99 --seed 3 --channels 1 in.mid g.mid | grep -q " 0 notes humanized" &&
    fail "--channels 1 humanized nothing"
"$groobler" --strengths 99,99,99 --seed 3 --tracks 3 in.mid t.mid | grep -q " 32 notes humanized" ||
    fail "--tracks 3 did not choose the bass's 32 notes"
"$groobler" --strengths 99,99,99 --seed 3 --tracks 1 --channels 2 in.mid h.mid | grep -q " 0 notes humanized" ||
    fail "--tracks 1 --channels 2 humanized notes of an empty selection"
cmp -s in.mid h.mid || fail "an empty selection changed the file"

# A malformed file: exit 1, the byte offset named, no output file.
head -c 30 in.mid > cut.mid
"$groobler" --strengths 50,50,50 cut.mid out.mid 2> err.txt
[ $? -eq 1 ] || fail "a cut-off file did not exit 1"
grep -q "at byte [0-9]*: expected" err.txt || fail "no byte offset in: $(cat err.txt)"
[ -e out.mid ] && fail "a malformed file still produced out.mid"

# Refused: the exit status and a word of what is wrong, and nothing written.
mkdir song folder-out
cp in.mid song.tmp
ln in.mid hardlink.mid
mkfifo pipe.mid
truncate -s 300M big.mid
refused() {  # EXPECTED_STATUS MESSAGE ARGUMENTS...
    local want=$1 message=$2
    shift 2
    local before after
    before=$(ls -lA --time-style=full-iso | md5sum)
    timeout 10 "$groobler" "$@" >/dev/null 2>"$err"
    local got=$?
    after=$(ls -lA --time-style=full-iso | md5sum)
    [ "$got" -eq "$want" ] || fail "$* exited $got, not $want: $(cat "$err")"
    grep -qF -- "$message" "$err" || fail "$*: no \"$message\" in: $(cat "$err")"
    [ "$before" = "$after" ] || fail "$*: a file changed"
}
refused 2 "--strengths \"100,0,0\"" --strengths 100,0,0 in.mid x.mid
refused 2 "--strengths \"1,2\"" --strengths 1,2 in.mid x.mid
refused 2 "three strengths 0..99" --strengths 4294967301,0,0 in.mid x.mid
refused 2 "three strengths 0..99" --strengths ' 5,5,5' in.mid x.mid
refused 2 "three strengths 0..99" --strengths +5,5,5 in.mid x.mid
refused 2 "three strengths 0..99" --strengths '5, 5, 5' in.mid x.mid
refused 2 "--seed \"-3\"" --seed -3 --strengths 1,2,3 in.mid x.mid
refused 2 "--seed \"\"" --seed "" --strengths 1,2,3 in.mid x.mid
refused 2 "0..2147483646" --seed 2147483647 --strengths 1,2,3 in.mid x.mid
refused 2 "--seed is given twice" --seed 1 --seed 1 --strengths 1,2,3 in.mid x.mid
refused 2 "unknown option -x (-- ends" --strengths 1,2,3 in.mid -x.mid
refused 1 "\\x1B[2J" --strengths 1,2,3 "$(printf 'in.mid\033[2J')" x.mid
refused 1 "in\\xC2\\x9B2J\\x9B\\x9Fé" --strengths 1,2,3 "$(printf 'in\xc2\x9b2J\x9b\x9f\xc3\xa9')" x.mid
refused 1 "in\\xE2\\x80\\xAEdim.mid\\xE2\\x81\\xA6" --strengths 1,2,3 "$(printf 'in\xe2\x80\xaedim.mid\xe2\x81\xa6')" x.mid
refused 2 "option --s is ambiguous: --strengths or --seed" --s 3 in.mid x.mid
refused 2 "--help takes no value" --help=1
refused 1 "special file whose size is not known" --strengths 1,2,3 /proc/self/status x.mid
refused 2 "--seed needs a value" --strengths 1,2,3 in.mid x.mid --seed
refused 2 "unknown option --sed" --sed 3 --strengths 1,2,3 in.mid x.mid
refused 2 "--channels \"0\"" --channels 0 --strengths 1,2,3 in.mid x.mid
refused 2 "--channels \"17\"" --channels 17 --strengths 1,2,3 in.mid x.mid
refused 2 "--tracks \"3-1\"" --tracks 3-1 --strengths 1,2,3 in.mid x.mid
refused 2 "has 4" --tracks 5 --strengths 1,2,3 in.mid x.mid
refused 1 "No such file" --strengths 1,2,3 missing.mid x.mid
refused 1 "not a regular file" --strengths 1,2,3 /dev/zero x.mid
refused 1 "not a regular file" --strengths 1,2,3 pipe.mid x.mid
# A pipe named as the input is refused without being opened: a writer
# waiting on it goes on waiting.
(echo x > pipe.mid) 2>/dev/null &
writer=$!
refused 1 "not a regular file" --strengths 1,2,3 pipe.mid x.mid
sleep 0.2
kill -0 $writer 2>/dev/null || fail "the input pipe's waiting writer was let go"
kill $writer 2>/dev/null
wait $writer 2>/dev/null
refused 1 "larger than 256 MiB" --strengths 1,2,3 big.mid x.mid
refused 1 "is a folder" --strengths 1,2,3 song x.mid
refused 1 "is the input file" --strengths 1,2,3 in.mid in.mid
refused 1 "is the input file" --strengths 1,2,3 in.mid ./in.mid
refused 1 "is the input file" --strengths 1,2,3 in.mid hardlink.mid
refused 1 "is a folder" --strengths 1,2,3 song.tmp song
refused 1 "cannot create a temporary file beside it: " --strengths 1,2,3 in.mid /proc/version
[ -e song.tmp ] || fail "the input song.tmp was removed"

# Out of memory: a million notes (24 MB of them in memory) under a 30 MB address space.
python3 -c '
import struct, sys
track = bytes([0, 0x90, 60, 90]) + bytes([0x10, 60, 0, 0, 60, 90]) * 1000000 + bytes([0x10, 60, 0, 0, 0xFF, 0x2F, 0])
sys.stdout.buffer.write(b"MThd" + struct.pack(">IHHH", 6, 0, 1, 480) + b"MTrk" + struct.pack(">I", len(track)) + track)
' > million.mid
(ulimit -v 30000; "$groobler" --strengths 50,50,50 million.mid million-out.mid >/dev/null 2>"$err")
[ $? -eq 1 ] && grep -q "out of memory" "$err" || fail "out of memory: not exit 1 with a message: $(cat "$err")"
[ -e million-out.mid ] && fail "out of memory, and still an output"

# Written through a temporary file of its own: a file beside the output
# with the old temporary name is never touched, nor what a link there
# leads to; an existing output keeps its permission bits; a link as the
# output stays a link and its file is replaced.
echo keep > take.mid.tmp
echo keep > victim
ln -s victim out2.mid.tmp
cp in.mid take.mid
chmod 640 take.mid
"$groobler" --strengths 50,50,50 --seed 1 in.mid take.mid >/dev/null || fail "writing over take.mid failed"
[ "$(cat take.mid.tmp)" = keep ] || fail "take.mid.tmp was touched"
[ "$(stat -c %a take.mid)" = 640 ] || fail "take.mid lost its permission bits: $(stat -c %a take.mid)"
"$groobler" --strengths 50,50,50 --seed 1 in.mid out2.mid >/dev/null || fail "writing out2.mid failed"
[ "$(cat victim)" = keep ] || fail "a link at the old temporary name was followed"
cp in.mid target.mid
ln -s target.mid link.mid
"$groobler" --strengths 50,50,50 --seed 1 in.mid link.mid >/dev/null || fail "writing through a link failed"
[ -L link.mid ] || fail "the output link was replaced by a file"
cmp -s target.mid take.mid || fail "the link's file was not replaced"
# A link to an absolute path is walked from the root, and a chain of 40
# links, the system's own limit, is followed; 41 are not.
cp in.mid abs-target.mid && ln -s "$PWD/abs-target.mid" abs-link.mid
"$groobler" --strengths 50,50,50 --seed 1 in.mid abs-link.mid >/dev/null && cmp -s abs-target.mid take.mid ||
    fail "writing through a link to an absolute path failed"
cp in.mid hop-target.mid && ln -s hop-target.mid hop40.mid
for n in $(seq 39 -1 0); do ln -s hop$((n + 1)).mid hop$n.mid; done
"$groobler" --strengths 50,50,50 --seed 1 in.mid hop1.mid >/dev/null || fail "a chain of 40 links was not followed"
refused 1 "Too many levels of symbolic links" --strengths 50,50,50 --seed 1 in.mid hop0.mid
long=$(printf 'n%.0s' $(seq 1 248)).mid
"$groobler" --strengths 50,50,50 --seed 1 in.mid "$long" >/dev/null || fail "an output name of 252 bytes failed"
# -- ends the options; a summary lost on a full device is a failure.
cp in.mid ./-in.mid
"$groobler" --strengths 50,50,50 -- -in.mid -out.mid >/dev/null && [ -f ./-out.mid ] || fail "-- did not end the options"
"$groobler" --strengths 50,50,50 in.mid full.mid >/dev/full 2>"$err" && fail "a summary written to /dev/full exited 0"
"$groobler" --help >/dev/full && fail "--help to /dev/full exited 0"
python3 -c 'import os, subprocess, sys; r, w = os.pipe(); os.close(r); sys.exit(subprocess.call(sys.argv[1:], stdout=w))' \
    "$groobler" --strengths=50,50,50 in.mid piped.mid 2>/dev/null
[ $? -eq 1 ] && [ -f piped.mid ] || fail "a summary lost to a closed pipe: not exit 1 with the file written"
cp in.mid ./--
"$groobler" --strengths 50,50,50 -- -- dashes.mid >/dev/null && [ -f dashes.mid ] || fail "an input named -- after --"
# A disk whose fsync fails: exit 1 with its reason, the output as it was.
echo keep > synced.mid
LD_PRELOAD=$fsync_fails "$groobler" --strengths 50,50,50 in.mid synced.mid >/dev/null 2>"$err"
[ $? -eq 1 ] && grep -q "Input/output error" "$err" && [ "$(cat synced.mid)" = keep ] ||
    fail "a failing fsync: not exit 1 with the output kept: $(cat "$err")"
# Format 2: two independent tracks, each humanized, written back as format 2.
python3 -c '
import struct, sys
track = lambda key: b"MTrk" + struct.pack(">I", 8 * 16 + 4) + bytes([0, 0x90, key, 90, 0x60, 0x80, key, 0] * 16) + bytes([0, 0xFF, 0x2F, 0])
sys.stdout.buffer.write(b"MThd" + struct.pack(">IHHH", 6, 2, 2, 480) + track(60) + track(48))
' > format2.mid
"$groobler" --strengths 99,0,0 --seed 2 format2.mid format2-out.mid | grep -q " 32 notes humanized" &&
    [ "$(head -c 10 format2-out.mid | tail -c 2 | od -An -tx1)" = " 00 02" ] || fail "a format-2 file was not humanized as one"
# An output's access control list is kept: user::rw- user:nobody:rw-
# group::--- mask::rw- other::---, which as plain 0660 would open it to its
# group (skipped where the file system keeps no such lists).
cp in.mid acl.mid && chmod 660 acl.mid
acl() {  # FILE [SET]: prints the list's bytes in hex, or sets the one above
    python3 - "$@" <<'PYTHON'
import os, struct, sys
name = "system.posix_acl_access"
if len(sys.argv) > 2:
    entries = [(0x01, 6, 0xFFFFFFFF), (0x02, 6, 65534), (0x04, 0, 0xFFFFFFFF), (0x10, 6, 0xFFFFFFFF), (0x20, 0, 0xFFFFFFFF)]
    try:
        os.setxattr(sys.argv[1], name, struct.pack("<I", 2) + b"".join(struct.pack("<HHI", *e) for e in entries))
    except OSError as error:
        sys.exit(f"no access control lists here: {error}")
print(os.getxattr(sys.argv[1], name).hex())
PYTHON
}
if kept=$(acl acl.mid set 2>"$err"); then
    "$groobler" --strengths 50,50,50 in.mid acl.mid >/dev/null || fail "writing acl.mid failed"
    [ "$(acl acl.mid 2>&1)" = "$kept" ] && [ "$(stat -c %a acl.mid)" = 660 ] ||
        fail "acl.mid's access control list was not kept: $(acl acl.mid 2>&1), mode $(stat -c %a acl.mid)"
else
    echo "SKIP: an access control list kept: $(cat "$err")"
fi
# An output swapped for a folder while it is written: the rename fails,
# exit 1 with the reason, nothing left but the folder.
cp in.mid swapped.mid
LD_PRELOAD=$slow_temporary "$groobler" --strengths 50,50,50 in.mid swapped.mid >/dev/null 2>"$err" &
sleep 0.2
rm swapped.mid && mkdir swapped.mid && touch swapped.mid/kept
wait $!
[ $? -eq 1 ] && [ -e swapped.mid/kept ] || fail "a failed rename: not exit 1 with the folder kept: $(cat "$err")"
ls -a | grep -q '^\.groobler-' && fail "a failed rename left its temporary file" && rm -f .groobler-*
rm -rf swapped.mid
# A link planted at the first temporary name (the process's own number,
# which exec keeps) is never followed.
echo keep > victim2
bash -c 'ln -s victim2 .groobler-$$-0; exec "$0" --strengths 50,50,50 in.mid planted.mid' "$groobler" >/dev/null ||
    fail "writing beside a planted link failed"
[ "$(cat victim2)" = keep ] && [ -f planted.mid ] || fail "a link at the temporary's name was followed"
rm -f .groobler-*-0
# A file-size limit is a write error with its reason; signals while the
# output is written leave no temporary file, and end as the signal would.
(ulimit -f 1; "$groobler" --strengths 50,50,50 million.mid limited.mid >/dev/null 2>"$err")
[ $? -eq 1 ] && grep -q "file-size limit" "$err" || fail "ulimit -f: not exit 1 with its reason: $(cat "$err")"
for delay in 0.1 0.2 0.25 0.3 0.35 0.4 0.45; do
    "$groobler" --strengths 50,50,50 million.mid signalled.mid >/dev/null 2>&1 &
    sleep $delay
    kill -TERM $! 2>/dev/null
    wait $!
    got=$?
    [ $got -eq 143 ] || [ $got -eq 0 ] || fail "SIGTERM after ${delay}s: exit status $got"
done
# Any signal that ends the program, while the temporary file is made,
# leaves nothing: a file without a name, or (where the file system refuses
# one) a named one the signal waits for and then removes; kill -9 too,
# where the file needs no name.
for named in "" 1; do
    for signal in TERM HUP QUIT USR1 ALRM XCPU KILL; do
        [ -n "$named" ] && [ $signal = KILL ] && continue
        # A shell's background job ignores SIGINT and SIGQUIT: given back.
        rm -f held.mid
        env --default-signal=INT,QUIT ${named:+SLOW_TEMPORARY_NAMED=1} LD_PRELOAD="$slow_temporary" \
            "$groobler" --strengths 50,50,50 in.mid held.mid >/dev/null 2>&1 &
        sleep 0.2
        kill -$signal $!
        wait $!
        [ $? -gt 128 ] || fail "SIG$signal while the temporary was made did not end the run"
        ls -a | grep -q '^\.groobler-' && fail "SIG$signal (named: ${named:-no}) left a temporary file" && rm -f .groobler-*
        [ -e held.mid ] && fail "SIG$signal left held.mid"
    done
done
if [ "$(id -u)" -eq 0 ]; then
    # A link another user planted in a sticky folder all may write to is
    # not followed; root keeps an output's owner, group and set-ID bits,
    # and another user writing it drops them.
    mkdir -m 1777 shared
    ln -s ../victim shared/song.mid && chown -h nobody shared/song.mid
    refused 1 "link of another user (uid $(id -u nobody))" --strengths 1,2,3 in.mid shared/song.mid
    # Nor in a team's folder that its group may write to, sticky or
    # set-group-ID; nor a link planted as the input.
    for mode in 1770 2770; do
        mkdir -m $mode team$mode && chgrp nogroup team$mode
        ln -s ../victim team$mode/song.mid && chown -h nobody:nogroup team$mode/song.mid
        refused 1 "uid $(id -u nobody)) in a folder that its group may write to" --strengths 1,2,3 in.mid team$mode/song.mid
    done
    # Root's own link in root's sticky folder is followed by another user.
    mkdir -m 1777 rootshared && mkdir -m 777 open3 && cp in.mid open3/rtarget.mid && chmod 666 open3/rtarget.mid
    ln -s ../open3/rtarget.mid rootshared/rlink.mid
    setpriv --reuid=nobody --regid=nogroup --clear-groups "$groobler" --strengths 50,50,50 in.mid rootshared/rlink.mid \
        >/dev/null 2>"$err" && ! cmp -s in.mid open3/rtarget.mid || fail "nobody did not follow root's link in root's folder: $(cat "$err")"
    cp in.mid private.mid && chmod 600 private.mid
    ln -s ../private.mid shared/in.mid && chown -h nobody shared/in.mid
    refused 1 "link of another user (uid $(id -u nobody))" --strengths 1,2,3 shared/in.mid from-private.mid
    # Nor one in the middle of the path, whoever writes through it, nor
    # one met through one's own link; one's own link there is followed.
    mkdir -m 700 secret && echo root-only > secret/config.txt
    setpriv --reuid=nobody --regid=nogroup --clear-groups ln -s "$PWD/secret" shared/dirlink
    ln -s shared/dirlink/config.txt rootlink.mid
    refused 1 "link of another user (uid $(id -u nobody))" --strengths 1,2,3 in.mid shared/dirlink/config.txt
    refused 1 "link of another user (uid $(id -u nobody))" --strengths 1,2,3 in.mid rootlink.mid
    mkdir -m 777 open2 && setpriv --reuid=12345 --regid=12345 --clear-groups ln -s "$PWD/open2" shared/other
    setpriv --reuid=nobody --regid=nogroup --clear-groups "$groobler" --strengths 1,2,3 in.mid shared/other/x.mid \
        >/dev/null 2>"$err" && fail "nobody followed another user's folder link"
    [ "$(cat secret/config.txt)" = root-only ] && [ ! -e open2/x.mid ] || fail "a planted folder link was followed"
    chown nobody shared && cp in.mid own-target.mid && ln -s ../own-target.mid shared/own.mid
    "$groobler" --strengths 50,50,50 in.mid shared/own.mid >/dev/null && ! cmp -s in.mid own-target.mid ||
        fail "root's own link in nobody's sticky folder was not followed"
    cp in.mid setid.mid && chown nobody:nogroup setid.mid && chmod 6755 setid.mid
    "$groobler" --strengths 50,50,50 in.mid setid.mid >/dev/null || fail "root writing setid.mid failed"
    [ "$(stat -c '%U:%G %a' setid.mid)" = "nobody:nogroup 6755" ] || fail "root changed setid.mid: $(stat -c '%U:%G %a' setid.mid)"
    mkdir -m 777 open && cp in.mid open/setid.mid && chmod 6755 open/setid.mid
    setpriv --reuid=nobody --regid=nogroup --clear-groups "$groobler" --strengths 50,50,50 in.mid open/setid.mid >/dev/null ||
        fail "nobody writing open/setid.mid failed"
    [ "$(stat -c '%U %a' open/setid.mid)" = "nobody 755" ] || fail "set-ID bits kept for a new owner: $(stat -c '%U %a' open/setid.mid)"
fi
ls -a . shared open open2 open3 team1770 team2770 2>/dev/null | grep -q '^\.groobler-' && fail "a temporary file was left behind"
for written in *.mid; do
    case $written in big.mid|cut.mid|pipe.mid|million*.mid|synced.mid|-*|song*) continue ;; esac
    [ -L "$written" ] && continue
    /usr/bin/python3 -c 'import mido, sys; mido.MidiFile(sys.argv[1])' "$written" 2>"$err" ||
        fail "mido cannot read $written: $(tail -n 1 "$err")"
done
exit $status
