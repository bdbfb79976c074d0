# Sourced by the run and test scripts: project-local Wine prefixes in code
# page 932 on one private Xvfb display.
#   grooble_display_start   start a private Xvfb (unless GROOBLE_USE_DISPLAY
#                           and DISPLAY say to use the user's display)
#   grooble_wine_start ARCH make build/winARCH's prefix if needed (ARCH 32
#                           or 64) and make it the current one; everything
#                           started is ended when the calling script exits
#   grooble_wine ARGS...    run Wine of the current prefix's kind
#   grooble_wine_start_preferred
#                           the same for the build the main job runs (x86
#                           where 32-bit code runs, else x64); sets
#                           GROOBLE_TREE to its build folder
#   grooble_wine_dpi DPI    set the current prefix's resolution
#   grooble_bare_selftest ARCH
#                           the self-test as a user runs it, from its archive
#                           in a fresh prefix; checks its report
# Sourcing it runs the probe for 32-bit code, which says its one line.

source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
grooble_probe

# Debian's /usr/bin/wine picks the 32-bit loader whenever it is installed,
# so each kind of prefix names its own loader by path.
grooble_wine_loader() {
    case $1 in
        32) echo /usr/lib/wine/wine ;;
        64) echo /usr/lib/wine/wine64 ;;
    esac
}

GROOBLE_WINE_PREFIXES=()
trap grooble_wine_stop EXIT

# LC_ALL, not LANG, is what makes Wine's ANSI code page 932. It is given to
# Wine alone: the shell has no such locale installed and would complain.
grooble_wine() {
    LC_ALL=ja_JP.UTF-8 "$GROOBLE_WINE" "$@"
}

grooble_display_start() {
    [ -z "${GROOBLE_DISPLAY_READY:-}" ] || return 0
    GROOBLE_DISPLAY_READY=1
    if [ -n "${GROOBLE_USE_DISPLAY:-}" ] && [ -n "${DISPLAY:-}" ]; then
        return 0
    fi
    mkdir -p "$GROOBLE_LOGS"
    local n=90
    while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >"$GROOBLE_LOGS/xvfb.log" 2>&1 &
    GROOBLE_XVFB_PID=$!
    export DISPLAY=":$n"
    local i
    for i in $(seq 1 50); do
        [ -e "/tmp/.X11-unix/X$n" ] && return 0
        sleep 0.1
    done
    echo "FAILED: starting Xvfb on :$n. Its output:" >&2
    sed 's/^/    /' "$GROOBLE_LOGS/xvfb.log" >&2
    exit 1
}

grooble_wine_start() {
    local arch=$1
    local build_dir="$GROOBLE_ROOT/build/win$arch"
    export GROOBLE_WINE_ARCH=$arch
    export GROOBLE_WINE
    GROOBLE_WINE=$(grooble_wine_loader "$arch")
    # What Wine starts by itself (services, wineboot's helpers) goes
    # through the same loader.
    export WINELOADER=$GROOBLE_WINE
    export WINEPREFIX="$build_dir/wine-prefix"
    export WINEARCH=win$arch
    export WINEDEBUG=-all
    # No Mono or Gecko installer prompts when the prefix is made.
    export WINEDLLOVERRIDES="mscoree,mshtml="
    if [ ! -x "$GROOBLE_WINE" ]; then
        echo "FAILED: $GROOBLE_WINE is missing; scripts/install-deps.sh installs it" >&2
        exit 1
    fi
    grooble_display_start
    GROOBLE_WINE_PREFIXES+=("$WINEPREFIX")

    if [ ! -f "$WINEPREFIX/.grooble-ready" ]; then
        rm -rf "$WINEPREFIX"
        mkdir -p "$WINEPREFIX"
    fi
    # A server that stays: one that ends a few seconds after each short Wine
    # run below can still be shutting down when the next one starts, which
    # then fails now and then. Wine's background services must not inherit
    # a test runner's pipes either, or the runner waits for them forever:
    # everything here is started detached, before any test.
    wineserver -p </dev/null >/dev/null 2>&1 || true
    if [ ! -f "$WINEPREFIX/.grooble-ready" ]; then
        grooble_step "make the win$arch Wine prefix" grooble_wine wineboot -i </dev/null
        # regedit takes a UTF-16 file, which keeps the Japanese font name
        # intact whatever the shell's locale.
        iconv -f UTF-8 -t UTF-16 "$GROOBLE_ROOT/tests/wine/prefix-settings.reg" \
            > "$WINEPREFIX/prefix-settings.reg"
        grooble_step "load the win$arch prefix settings" \
            grooble_wine regedit /S 'Z:'"$WINEPREFIX/prefix-settings.reg" </dev/null
        touch "$WINEPREFIX/.grooble-ready"
    fi
    # Debian's Wine does not find Marlett where fonts-wine puts it, and then
    # draws letters on the caption buttons; a copy in the prefix is found.
    if [ -f /usr/share/wine/fonts/marlett.ttf ]; then
        cp -n /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/" || true
    fi
    grooble_wine_dpi 96
    grooble_step "start Wine in the win$arch prefix" grooble_wine cmd /c exit </dev/null
}

grooble_wine_start_preferred() {
    local arch
    arch=$(grooble_preferred_arch)
    GROOBLE_TREE="build/win$arch"
    grooble_wine_start "$arch"
}

# Sets the current prefix's resolution in dots per inch (96 is the
# reference); each Wine process started afterwards reads it.
grooble_wine_dpi() {
    grooble_step "set the win$GROOBLE_WINE_ARCH prefix to $1 dpi" \
        grooble_wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f \
        </dev/null
}

grooble_wine_stop() {
    local prefix
    for prefix in "${GROOBLE_WINE_PREFIXES[@]}"; do
        WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 || true
    done
    GROOBLE_WINE_PREFIXES=()
    if [ -n "${GROOBLE_XVFB_PID:-}" ]; then
        kill "$GROOBLE_XVFB_PID" 2>/dev/null || true
        wait "$GROOBLE_XVFB_PID" 2>/dev/null || true
        GROOBLE_XVFB_PID=
    fi
}

# Runs the self-test of the kind ARCH (32 or 64) as a user would: unpacked
# from the archive in dist/ into a folder of its own and started in a fresh
# Wine prefix that nothing here has prepared: no stand-in Explorer, no
# substitute for the dialog's font, no fonts copied. Only Wine's own
# window management is switched on, as the Xvfb display has no window
# manager, which a user's desktop has (without one each dialog takes two
# seconds to close); then checks the report it writes.
grooble_bare_selftest() {
    local arch=$1 dir=x64 archive
    [ "$arch" = 32 ] && dir=x86
    archive=$(ls "$GROOBLE_ROOT"/dist/grooble-*-selftest.zip 2>/dev/null | head -n 1)
    [ -n "$archive" ] || { echo "no self-test archive in dist/ (the packaging test makes it)" >&2; return 1; }
    local work="$GROOBLE_ROOT/build/bare-selftest-win$arch"
    rm -rf "$work" && mkdir -p "$work/unpacked" && unzip -q "$archive" -d "$work/unpacked" || return 1
    grooble_display_start
    local status=0
    (
        export WINEPREFIX="$work/prefix" WINEARCH=win$arch WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
        WINELOADER=$(grooble_wine_loader "$arch")
        export WINELOADER
        GROOBLE_WINE=$WINELOADER
        grooble_wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >"$work/prefix.log" 2>&1
        cd "$work/unpacked/$dir" && grooble_wine ./grooble-selftest.exe </dev/null >"$work/output.txt" 2>&1
        code=$?
        wineserver -k >/dev/null 2>&1
        exit $code
    ) || status=$?
    python3 "$GROOBLE_ROOT/tests/wine/check_selftest_report.py" "$work/unpacked/$dir" "$status"
}
