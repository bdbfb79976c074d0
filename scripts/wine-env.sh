# Sourced by the run and test scripts: a project-local Wine prefix in code
# page 932 on a private Xvfb display.
#   grooble_wine_start BUILD_DIR   make the prefix if needed, start X and Wine;
#                                  they are ended when the calling script exits
#   grooble_wine_stop              end what grooble_wine_start began

GROOBLE_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# LC_ALL, not LANG, is what makes Wine's ANSI code page 932. It is given to
# Wine alone: the shell has no such locale installed and would complain.
grooble_wine() {
    LC_ALL=ja_JP.UTF-8 wine "$@"
}

grooble_wine_start() {
    local build_dir=$1
    trap grooble_wine_stop EXIT
    export WINEPREFIX="$build_dir/wine-prefix"
    export WINEARCH=win32
    export WINEDEBUG=-all
    # No Mono or Gecko installer prompts when the prefix is made.
    export WINEDLLOVERRIDES="mscoree,mshtml="

    if [ -z "${GROOBLE_USE_DISPLAY:-}" ] || [ -z "${DISPLAY:-}" ]; then
        local n=90
        while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
        Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
        GROOBLE_XVFB_PID=$!
        export DISPLAY=":$n"
        local i
        for i in $(seq 1 50); do
            [ -e "/tmp/.X11-unix/X$n" ] && break
            sleep 0.1
        done
    fi

    # Wine's background services must not inherit a test runner's pipes,
    # or the runner waits for them forever: start them here, detached.
    wineserver -p </dev/null >/dev/null 2>&1 || true
    if [ ! -f "$WINEPREFIX/.grooble-ready" ]; then
        mkdir -p "$WINEPREFIX"
        grooble_wine wineboot -i </dev/null >/dev/null 2>&1 || true
        # regedit takes a UTF-16 file, which keeps the Japanese font name
        # intact whatever the shell's locale.
        iconv -f UTF-8 -t UTF-16 "$GROOBLE_ROOT/tests/wine/prefix-settings.reg" \
            > "$WINEPREFIX/prefix-settings.reg"
        grooble_wine regedit /S 'Z:'"$WINEPREFIX/prefix-settings.reg" </dev/null >/dev/null 2>&1
        touch "$WINEPREFIX/.grooble-ready"
    fi
    # Debian's Wine does not find Marlett where fonts-wine puts it, and then
    # draws letters on the caption buttons; a copy in the prefix is found.
    if [ -f /usr/share/wine/fonts/marlett.ttf ]; then
        cp -n /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/" || true
    fi
    grooble_wine_dpi 96
    grooble_wine cmd /c exit </dev/null >/dev/null 2>&1 || true
}

# Sets the prefix's resolution in dots per inch (96 is the reference);
# each Wine process started afterwards reads it.
grooble_wine_dpi() {
    grooble_wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f \
        </dev/null >/dev/null 2>&1
}

grooble_wine_stop() {
    wineserver -k >/dev/null 2>&1 || true
    if [ -n "${GROOBLE_XVFB_PID:-}" ]; then
        kill "$GROOBLE_XVFB_PID" 2>/dev/null || true
        wait "$GROOBLE_XVFB_PID" 2>/dev/null || true
        GROOBLE_XVFB_PID=
    fi
}
