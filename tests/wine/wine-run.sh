#!/bin/sh
# CTest's emulator for the Windows test programs: wine-run.sh ARCH PROGRAM
# [ARGS...] runs one under the Wine of its kind (32 or 64), in the prefix
# and on the display that scripts/wine-env.sh set up for that kind.
arch=$1
shift
if [ -z "${WINEPREFIX:-}" ] || [ -z "${DISPLAY:-}" ] || [ -z "${GROOBLE_WINE:-}" ]; then
    echo "wine-run.sh: no Wine prefix or display is set up; run the tests through scripts/test.sh" >&2
    exit 2
fi
if [ "${GROOBLE_WINE_ARCH:-}" != "$arch" ]; then
    echo "wine-run.sh: a win$arch program, but the prefix set up is win${GROOBLE_WINE_ARCH:-?} ($WINEPREFIX)" >&2
    exit 2
fi
export LC_ALL=ja_JP.UTF-8
export WINEDEBUG=${WINEDEBUG:--all}
exec "$GROOBLE_WINE" "$@"
