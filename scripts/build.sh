#!/usr/bin/env bash
# Sets up a fresh Debian machine, builds the release programs and the example packages into
# dist/, and shows the program's main job in a throwaway Wine prefix: a sample ATOK 2012 profile
# before, after an install, and after "/uninst".
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
. scripts/wine.sh
cmake --workflow --preset release
cmake --workflow --preset installers
shipped=(dist/dicreg.exe dist/dicreg-x64.exe dist/QelDat2012-setup.exe dist/QelDat2012.msi)
# Inno Setup's compiler is a 32-bit program.
if runs_32bit; then
  shipped+=(dist/QelDat2012-inno-setup.exe)
else
  echo "build: this machine runs no 32-bit programs; no Inno Setup setup is built" >&2
fi
ls -l "${shipped[@]}"

# The demonstration drives the program through a small helper built with the 64-bit toolchain;
# it shows the 32-bit program where the machine runs 32-bit programs.
cmake --preset win64 >/dev/null
cmake --build --preset win64 --target e2edriver >/dev/null
python3 scripts/demo.py --driver build/win64/tests/e2edriver.exe \
  --program "$(runnable_programs | head -n 1)"
