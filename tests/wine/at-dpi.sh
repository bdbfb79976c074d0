#!/bin/sh
# at-dpi.sh DPI ARCH PROGRAM [ARGS...]: runs a Windows test program under
# Wine with the prefix set to DPI dots per inch, and sets it back to 96
# after.
dpi=$1
arch=$2
shift 2
here=$(dirname "$0")
set_dpi() {
    LC_ALL=ja_JP.UTF-8 "$GROOBLE_WINE" reg add 'HKCU\Control Panel\Desktop' /v LogPixels \
        /t REG_DWORD /d "$1" /f </dev/null >/dev/null 2>&1
}
if ! set_dpi "$dpi"; then
    echo "at-dpi.sh: could not set the prefix to $dpi dpi with $GROOBLE_WINE" >&2
    exit 2
fi
"$here/wine-run.sh" "$arch" "$@"
status=$?
set_dpi 96
exit $status
