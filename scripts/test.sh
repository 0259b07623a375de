#!/usr/bin/env bash
# Sets up a fresh Debian machine and runs every test: the host unit tests, the same unit tests
# under Wine (32- and 64-bit), the release checks (headers, imports, resources, reproducible
# bytes), the end-to-end suite over both shipped programs, and the benchmark's call checks.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
jobs=$(nproc)

cmake --preset host
cmake --build --preset host -j "$jobs"
ctest --preset host -j "$jobs"

if ! command -v wine >/dev/null || [ ! -x /usr/lib/wine/wine64 ]; then
  if [ "${CI:-}" = "true" ]; then
    echo "test: Wine is missing; in CI that is a failure" >&2
    exit 1
  fi
  echo "test: Wine is missing; skipping the Windows tests" >&2
  exit 0
fi

for preset in win32 win64; do
  cmake --preset "$preset"
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset"
done

cmake --workflow --preset release
python3 tests/e2e/e2e.py --driver build/win32/tests/e2edriver.exe \
  --program dist/dicreg.exe --program dist/dicreg-x64.exe --work build/e2e
scripts/benchmark.sh --runs 5
