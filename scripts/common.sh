# Sourced by every script here: installing and building once per command,
# running a step with its output kept, and the one probe for whether this
# machine runs 32-bit code.
#   grooble_install                installs the missing packages, once
#   grooble_build TREE...          configures and builds each tree (win32,
#                                  win64, native, fuzz), once per command
#   grooble_step NAME COMMAND...   runs COMMAND with its output in a log;
#                                  on failure names the step, shows the
#                                  log's last lines and exits
#   grooble_probe                  sets GROOBLE_RUNS_32BIT to 1 or 0 and
#                                  says once which Wine is used and why

GROOBLE_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
GROOBLE_LOGS="$GROOBLE_ROOT/build/logs"

grooble_step() {
    local name=$1
    shift
    mkdir -p "$GROOBLE_LOGS"
    local log="$GROOBLE_LOGS/$(printf '%s' "$name" | tr -c 'A-Za-z0-9._-' '-').log"
    local status=0
    "$@" >"$log" 2>&1 || status=$?
    if [ "$status" -ne 0 ]; then
        {
            echo "FAILED: $name (exit status $status). Last lines of $log:"
            tail -n 40 "$log" | sed 's/^/    /'
        } >&2
        exit "$status"
    fi
}

# Exported, so that a script another script starts does not install again.
grooble_install() {
    [ -z "${GROOBLE_INSTALLED:-}" ] || return 0
    "$GROOBLE_ROOT/scripts/install-deps.sh" || {
        echo "FAILED: installing the packages (see apt's output above)" >&2
        exit 1
    }
    export GROOBLE_INSTALLED=1
}

# The four build trees: the x86 and x64 DLLs with their Wine tests and
# groobler, cross-compiled; the native unit tests and groobler; the
# libFuzzer targets, with clang. A tree built once in this command (and the
# scripts it starts) is not built again.
grooble_build() {
    grooble_install
    local tree
    for tree in "$@"; do
        case " ${GROOBLE_BUILT:-} " in *" $tree "*) continue ;; esac
        local options
        case $tree in
            win32) options=(-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake -DCMAKE_BUILD_TYPE=Release) ;;
            win64) options=(-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release) ;;
            native) options=(-DCMAKE_BUILD_TYPE=Debug) ;;
            fuzz) options=(-DCMAKE_CXX_COMPILER=clang++ -DGROOBLE_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
            *) echo "grooble_build: no tree $tree" >&2; exit 2 ;;
        esac
        echo "building build/$tree"
        (cd "$GROOBLE_ROOT" &&
            grooble_step "configure $tree" cmake -S . -B "build/$tree" "${options[@]}" &&
            grooble_step "build $tree" cmake --build "build/$tree" -j"$(nproc)") || exit 1
        export GROOBLE_BUILT="${GROOBLE_BUILT:-} $tree"
    done
}

# Some machines of this project's kind run no 32-bit user code at all: every
# i386 program, 32-bit Wine included, fails there with "Exec format error".
# The i386 dynamic loader answering for itself is the cheapest proof either
# way; 32-bit Wine must be there too (a mirror mid-sync can keep it from
# installing). GROOBLE_NO_32BIT=1 makes the answer "no" on any machine, so
# that the 64-bit-only road can be tried where both run.
grooble_probe() {
    if [ -n "${GROOBLE_RUNS_32BIT:-}" ]; then
        return 0
    fi
    local why
    if [ -n "${GROOBLE_NO_32BIT:-}" ] && [ "$GROOBLE_NO_32BIT" != 0 ]; then
        GROOBLE_RUNS_32BIT=0
        why="GROOBLE_NO_32BIT is set"
    elif ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
        GROOBLE_RUNS_32BIT=0
        why="this machine runs no 32-bit code (/lib/ld-linux.so.2 does not start)"
    elif [ ! -x /usr/lib/wine/wine ]; then
        GROOBLE_RUNS_32BIT=0
        why="32-bit Wine (wine32:i386) is not installed: scripts/install-deps.sh could not install it"
    else
        GROOBLE_RUNS_32BIT=1
        why="this machine runs 32-bit code"
    fi
    export GROOBLE_RUNS_32BIT
    export GROOBLE_PROBE_REASON=$why
    if [ "$GROOBLE_RUNS_32BIT" = 1 ]; then
        echo "wine: 32-bit Wine for the x86 DLL and 64-bit Wine for the x64 DLL ($why)"
    else
        echo "wine: 64-bit Wine only, for the x64 DLL; the x86 DLL is checked statically ($why)"
    fi
}

# The Windows build the main job, the screenshots and the benchmark run:
# the x86 product where it can run, the x64 one elsewhere. Call
# grooble_probe first.
grooble_preferred_arch() {
    if [ "${GROOBLE_RUNS_32BIT:-}" = 1 ]; then echo 32; else echo 64; fi
}
