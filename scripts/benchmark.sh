#!/usr/bin/env bash
# Times the dialog's opening under Wine: GrooblerDialog against a bare
# dialog of the same template, with 0 to 20,000 stored presets. Arguments
# go to the benchmark program (--opens N, --presets 0,1000,...). Uses the
# x86 DLL where this machine runs 32-bit code, the x64 one elsewhere.
set -euo pipefail
source "$(dirname "$0")/common.sh"
cd "$GROOBLE_ROOT"

grooble_install
source scripts/wine-env.sh
grooble_build "win$(grooble_preferred_arch)"
grooble_wine_start_preferred
echo "$GROOBLE_TREE DLL, $(nproc) cores, $(date -u +%Y-%m-%d)"
(cd "$GROOBLE_TREE" && grooble_wine ./benchmark.exe "$@") ||
    { echo "FAILED: the benchmark under $GROOBLE_WINE" >&2; exit 1; }
