#!/bin/sh
# groobler-dialog.sh ARCH GROOBLER_EXE MAKE_EXAMPLE WORK WINE_TESTS_DIR: the stand-in host
# under Wine asks the real grooble.dll beside it (a scripted user types the
# strengths and presses OK) and humanizes the example file with what the
# dialog returned.
arch=$1
groobler=$2
make_example=$3
work=$4
wine_tests=$5
cd "$(dirname "$groobler")" || exit 1
mkdir -p "$work"
python3 "$make_example" "$work/in.mid" || exit 1
cp "$work/in.mid" in-e2e.mid
rm -f out-e2e.mid grooble.ini
"$wine_tests/wine-run.sh" "$arch" ./"$(basename "$groobler")" --seed 5 --play 12,34,56 in-e2e.mid out-e2e.mid \
    > "$work/output.txt" 2>&1
status=$?
cat "$work/output.txt"
rm -f in-e2e.mid grooble.ini
[ $status -eq 0 ] || { echo "FAIL: exit status $status"; exit 1; }
grep -q "GrooblerDialog returned 123456" "$work/output.txt" || { echo "FAIL: not the typed strengths"; exit 1; }
grep -q "strengths 12,34,56, seed 5" "$work/output.txt" || { echo "FAIL: not humanized with them"; exit 1; }
[ -s out-e2e.mid ] || { echo "FAIL: no output file"; exit 1; }
cmp -s "$work/in.mid" out-e2e.mid && { echo "FAIL: the file did not change"; exit 1; }
# An output that is a link stays a link; the file it leads to is replaced.
cp "$work/in.mid" in-e2e.mid && cp "$work/in.mid" target-e2e.mid && ln -sf target-e2e.mid link-e2e.mid
"$wine_tests/wine-run.sh" "$arch" ./"$(basename "$groobler")" --strengths 50,50,50 in-e2e.mid link-e2e.mid >/dev/null 2>&1
[ -L link-e2e.mid ] && ! cmp -s "$work/in.mid" target-e2e.mid || { echo "FAIL: the output link was not kept"; exit 1; }
rm -f out-e2e.mid in-e2e.mid link-e2e.mid target-e2e.mid
exit 0
