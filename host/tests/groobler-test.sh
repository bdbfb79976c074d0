#!/bin/sh
# groobler-test.sh GROOBLER MAKE_EXAMPLE WORK: the stand-in host end to
# end on the example file: what it writes, what it refuses, its exit codes.
groobler=$1
make_example=$2
work=$3
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
status=0
fail() { echo "FAIL: $*"; status=1; }

python3 "$make_example" in.mid || { echo "cannot make the example"; exit 1; }

"$groobler" --help | grep -q "usage: groobler" || fail "--help shows no usage"
"$groobler" --strengths 0,0,0 --seed 1 in.mid same.mid >/dev/null || fail "strengths 0 run failed"
cmp -s in.mid same.mid || fail "strengths 0,0,0 changed the file"

"$groobler" --strengths 60,40,60 --seed 7 in.mid a.mid > a.txt || fail "a run failed"
"$groobler" --strengths 60,40,60 --seed 7 in.mid b.mid >/dev/null || fail "a second run failed"
"$groobler" --strengths 60,40,60 --seed 8 in.mid c.mid >/dev/null || fail "a third run failed"
cmp -s a.mid b.mid || fail "the same seed gave different files"
cmp -s a.mid c.mid && fail "another seed gave the same file"
cmp -s a.mid in.mid && fail "strengths 60,40,60 changed nothing"
grep -q "notes humanized into a.mid" a.txt || fail "no summary: $(cat a.txt)"
[ -e a.mid.tmp ] && fail "a temporary file was left behind"

# A malformed file: exit 1, the byte offset named, no output file.
head -c 30 in.mid > cut.mid
"$groobler" --strengths 50,50,50 cut.mid out.mid 2> err.txt
[ $? -eq 1 ] || fail "a cut-off file did not exit 1"
grep -q "at byte [0-9]*: expected" err.txt || fail "no byte offset in: $(cat err.txt)"
[ -e out.mid ] && fail "a malformed file still produced out.mid"

"$groobler" --strengths 100,0,0 in.mid x.mid 2>/dev/null; [ $? -eq 2 ] || fail "strength 100 accepted"
"$groobler" --strengths 1,2 in.mid x.mid 2>/dev/null; [ $? -eq 2 ] || fail "two strengths accepted"
"$groobler" --seed -3 --strengths 1,2,3 in.mid x.mid 2>/dev/null; [ $? -eq 2 ] || fail "seed -3 accepted"
"$groobler" --strengths 1,2,3 missing.mid x.mid 2>/dev/null; [ $? -eq 1 ] || fail "a missing file did not exit 1"
exit $status
