#!/usr/bin/env bash
# Sets up a fresh Debian machine and builds the release programs into dist/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --workflow --preset release
ls -l dist/dicreg.exe dist/dicreg-x64.exe
