#!/usr/bin/env bash
# Installs what is missing and builds the product trees: build/win32 (the
# x86 DLL for 32-bit hosts) and build/win64 (the x64 DLL for 64-bit hosts),
# each with groobler and the Wine tests, cross-compiled; build/native (the
# unit tests and a native groobler). Both Windows trees are built on every
# machine, whether or not it can run them. The fuzz tree is the test
# command's alone.
set -euo pipefail
source "$(dirname "$0")/common.sh"
grooble_build win32 win64 native
echo "built: build/win32/grooble.dll (x86), build/win64/grooble.dll (x64), build/native"
