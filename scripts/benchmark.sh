#!/usr/bin/env bash
# Builds what the benchmark needs and times both release programs under Wine; fails when the
# registry-call checks fail. Extra arguments go to benchmark.py (for example --runs 21).
set -euo pipefail
cd "$(dirname "$0")/.."
for preset in win32 win64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --target e2edriver noop >/dev/null
done
[ -f dist/dicreg.exe ] && [ -f dist/dicreg-x64.exe ] || cmake --workflow --preset release >/dev/null
python3 scripts/benchmark.py --driver build/win32/tests/e2edriver.exe \
  --program dist/dicreg.exe --noop build/win32/tests/noop.exe \
  --program dist/dicreg-x64.exe --noop build/win64/tests/noop.exe "$@"
