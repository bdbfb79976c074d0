#!/bin/sh
# package-test.sh: makes the release archive from the Windows trees that
# are already built and checks it.
root=$(cd "$(dirname "$0")/../.." && pwd)
"$root/scripts/package.sh" --prebuilt || exit 1
python3 "$root/tests/package/check_archive.py" "$root/dist"
