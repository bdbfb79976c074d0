#!/bin/sh
# CTest's emulator for the Windows test programs: runs one under Wine in the
# prefix and on the display that scripts/wine-env.sh set up.
if [ -z "${WINEPREFIX:-}" ] || [ -z "${DISPLAY:-}" ]; then
    echo "wine-run.sh: WINEPREFIX and DISPLAY are unset; run the tests through scripts/test.sh" >&2
    exit 2
fi
export LC_ALL=ja_JP.UTF-8
export WINEDEBUG=${WINEDEBUG:--all}
exec wine "$@"
