#!/bin/sh
# at-dpi.sh DPI PROGRAM [ARGS...]: runs a Windows test program under Wine
# with the prefix set to DPI dots per inch, and sets it back to 96 after.
dpi=$1
shift
here=$(dirname "$0")
set_dpi() {
    LC_ALL=ja_JP.UTF-8 wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD \
        /d "$1" /f </dev/null >/dev/null 2>&1
}
set_dpi "$dpi" || exit 2
"$here/wine-run.sh" "$@"
status=$?
set_dpi 96
exit $status
