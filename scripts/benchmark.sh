#!/usr/bin/env bash
# Builds what the benchmark needs and times the release programs under Wine; fails when the
# registry-call checks fail. Extra arguments go to benchmark.py (for example --runs 21).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/wine.sh
for preset in win32 win64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --target e2edriver noop >/dev/null
done
[ -f dist/dicreg.exe ] && [ -f dist/dicreg-x64.exe ] || cmake --workflow --preset release >/dev/null
args=()
for program in $(runnable_programs); do
  # Each program is compared with the do-nothing program of its own kind.
  case "$program" in
    *-x64.exe) noop=build/win64/tests/noop.exe ;;
    *) noop=build/win32/tests/noop.exe ;;
  esac
  args+=(--program "$program" --noop "$noop")
done
python3 scripts/benchmark.py --driver build/win64/tests/e2edriver.exe "${args[@]}" "$@"
