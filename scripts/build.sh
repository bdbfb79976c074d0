#!/usr/bin/env bash
# Configures and builds the three trees after installing whatever of the
# toolchain is missing: build/win32 (the x86 DLL for 32-bit hosts),
# build/win64 (the x64 DLL for 64-bit hosts), each with its demo host and
# Wine tests, cross-compiled; build/native (the pure rules' tests) and
# build/fuzz (their libFuzzer targets, with clang).
# Both Windows trees are built on every machine, whether or not it can run
# them.
set -euo pipefail
source "$(dirname "$0")/common.sh"
cd "$GROOBLE_ROOT"

grooble_step "install the packages" scripts/install-deps.sh

configure_and_build() {
    local tree=$1
    shift
    grooble_step "configure $tree" cmake -S . -B "build/$tree" "$@"
    grooble_step "build $tree" cmake --build "build/$tree" -j"$(nproc)"
}

configure_and_build win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake -DCMAKE_BUILD_TYPE=Release
configure_and_build win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release
configure_and_build native -DCMAKE_BUILD_TYPE=Debug
configure_and_build fuzz -DCMAKE_CXX_COMPILER=clang++ -DGROOBLE_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
echo "built: build/win32/grooble.dll (x86), build/win64/grooble.dll (x64), build/native, build/fuzz"
