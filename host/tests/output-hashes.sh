#!/bin/bash
# output-hashes.sh GROOBLER TABLE [--refresh]: every file of the two real
# corpora humanized at three settings and two seeds, and the SHA-256 of
# each output against the table. A change that is meant to change no
# output byte (speed, tidying) must leave every line as it is; refresh the
# table only for a change of behaviour that is intended, and say so.
groobler=$1
table=$2
refresh=${3:-}
work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT
folders="/usr/share/planetblupi/music /usr/share/games/openttd/baseset/openmsx"
for folder in $folders; do
    [ -d "$folder" ] || { echo "FAIL: $folder is missing: scripts/install-deps.sh installs it"; exit 1; }
done
for folder in $folders; do
    for file in "$folder"/*.mid; do
        for strengths in 60,40,60 99,99,99 30,0,80; do
            for seed in 7 2147483646; do
                "$groobler" --strengths "$strengths" --seed "$seed" "$file" "$work/out.mid" >/dev/null ||
                    { echo "FAIL: $file at $strengths seed $seed"; exit 1; }
                echo "$(sha256sum < "$work/out.mid" | cut -d' ' -f1) $strengths $seed ${file##*/}"
            done
        done
    done
done | LC_ALL=C sort -k4 -k2 -k3 > "$work/hashes"
if [ "$refresh" = --refresh ]; then
    cp "$work/hashes" "$table"
    echo "$(wc -l < "$table") hashes written to $table"
    exit 0
fi
if ! diff "$table" "$work/hashes" > "$work/diff"; then
    echo "FAIL: outputs differ from the table ($(grep -c '^>' "$work/diff") of $(wc -l < "$table")):"
    head -n 20 "$work/diff"
    exit 1
fi
echo "$(wc -l < "$table") outputs as in the table"
