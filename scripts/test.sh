#!/usr/bin/env bash
# Sets up a fresh Debian machine and runs every test: the host unit tests (plain and under the
# address and undefined-behaviour sanitizers), the same unit tests under Wine (32- and 64-bit),
# the release checks (headers, imports, resources, reproducible bytes), the end-to-end suite over
# both shipped programs, the example packages (NSIS, MSI, and where 32-bit programs run, Inno
# Setup) installed and removed under Wine, both again on the oldest Windows they run on, the
# packages clicked through as a person would, signed packages, and the benchmark's call checks.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
. scripts/wine.sh
jobs=$(nproc)
mkdir -p build/logs

# Wine copies its DLLs into every prefix, over a gigabyte each, and a full run makes a dozen: once
# a step has passed, its prefixes go, unless DICREG_KEEP_PREFIXES is set. A failing step stops the
# script with its prefix in place to look into.
drop_prefixes() { # <folder>...
  [ -z "${DICREG_KEEP_PREFIXES:-}" ] || return 0
  local prefix
  while IFS= read -r -d '' prefix; do
    # The prefix's server must be gone first: a new prefix that gets the same inode would
    # otherwise find it still running.
    WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
    WINEPREFIX="$prefix" wineserver -w 2>/dev/null || true
    rm -rf "$prefix"
  done < <(find "$@" -maxdepth 2 -type d \( -name prefix -o -name wineprefix \) -print0)
}
# What an earlier run kept holds its installs, which a step would find in its prefix: every run
# starts without them.
DICREG_KEEP_PREFIXES= drop_prefixes build/*

# Runs steps (shell functions) side by side: each has prefixes of its own, and most of a Wine run
# is waiting, so two share the machine's cores well. Each step's output comes out whole once all
# have ended; any step that failed fails the script. A step still running after
# DICREG_STEP_MINUTES (30) is stopped, with all it started, and fails: a hang then ends the run
# with the step's log rather than outlasting CI's limit with nothing said.
side_by_side() { # <step>...
  local steps=("$@") pids=() step failed=0 i watchdog minutes=${DICREG_STEP_MINUTES:-30}
  set -m # each step and the watchdog in a process group of its own
  for step in "${steps[@]}"; do
    "$step" >"build/logs/$step.log" 2>&1 &
    pids+=($!)
  done
  (
    sleep $((minutes * 60))
    for i in "${!pids[@]}"; do
      if kill -TERM -- "-${pids[$i]}"; then
        echo "test: ${steps[$i]} was still running after $minutes minutes and was stopped" \
          >>"build/logs/${steps[$i]}.log"
      fi
    done
  ) >/dev/null 2>&1 &
  watchdog=$!
  set +m
  for i in "${!pids[@]}"; do
    wait "${pids[$i]}" || failed=1
    cat "build/logs/${steps[$i]}.log"
  done
  kill -- "-$watchdog" 2>/dev/null || true
  return "$failed"
}

free_kb=$(df -Pk . | awk 'NR == 2 { print $4 }')
echo "test: $((free_kb / 1024 / 1024)) GB free on this disk"
if [ "$free_kb" -lt $((5 * 1024 * 1024)) ]; then
  echo "test: warning: under 5 GB free; at most about 5 GB of Wine prefixes exist at once" >&2
fi

cmake --preset host
cmake --build --preset host -j "$jobs"
ctest --preset host -j "$jobs"
# The same unit tests under AddressSanitizer and UndefinedBehaviorSanitizer; any finding fails.
cmake --workflow --preset host-sanitize

if ! command -v wine >/dev/null || [ ! -x "$WINE64" ]; then
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
done
unit_tests_win32() {
  if runs_32bit; then
    ctest --preset win32
    drop_prefixes build/win32
  else
    echo "test: this machine runs no 32-bit programs; the 32-bit unit tests are built, not run"
  fi
}
unit_tests_win64() {
  ctest --preset win64
  drop_prefixes build/win64
}
side_by_side unit_tests_win32 unit_tests_win64

cmake --workflow --preset release

# Both shipped programs from an exact command line to the registry, beside the publisher's
# packages.
programs() {
  mapfile -t programs < <(runnable_programs)
  python3 tests/e2e/e2e.py --driver build/win64/tests/e2edriver.exe \
    "${programs[@]/#/--program=}" --work build/e2e
  drop_prefixes build/e2e
}
# A publisher's build: every setting given, as the README says, Japanese names with characters
# that each engine's script must escape; the packages must carry each. The same packages as a
# person installs them, clicked through in a Wine desktop under Xvfb, as a Japanese and as an
# English user, licence page and all: screenshots of every page go to build/e2e/.
publisher() {
  export DICREG_DICTIONARY=build/publisher/QelDat2012-real.dic \
    DICREG_PRODUCT_NAME="ヴェルノア医療辞書 QelDat2012 {2}" \
    DICREG_PUBLISHER='株式会社ヴェルノア "辞書" $Ltd'"'"'s' \
    DICREG_PACKAGE_VERSION=2.3.45 DICREG_UPGRADE_CODE=3f2b8c1e-7d4a-4e6b-9c2d-5a1e8f0b7c63 \
    DICREG_ICON=tests/e2e/publisher.ico DICREG_URL=https://www.example.jp/qeldat/ \
    DICREG_LICENSE=tests/e2e/license.txt
  mkdir -p build/publisher
  python3 -c 'import sys; sys.stdout.buffer.write(bytes(range(256)) * 64)' >"$DICREG_DICTIONARY"
  cmake --workflow --preset installers
  python3 tests/e2e/packages.py --driver build/win64/tests/e2edriver.exe --publisher \
    --packages "$(shipped_packages)" --work build/e2e-publisher
  python3 tests/e2e/interactive.py --driver build/win64/tests/e2edriver.exe \
    --packages "$(shipped_packages)" --work build/e2e-interactive --shots build/e2e
  drop_prefixes build/e2e-publisher build/e2e-interactive
}
side_by_side programs publisher

# The example packages, installed and removed under Wine: built with each kind of program this
# machine can run, each kind in a prefix of its own, beside each program and its packages once
# more in a prefix that reports the oldest Windows they run on. Wine exports every function
# whatever it reports, so that shows behaviour; the release and installers checks are what show
# that the files load there. Inno Setup's setups are built and tried only where 32-bit programs
# run.
cmake --workflow --preset installers
packages() { # <x64 or x86>
  python3 tests/e2e/packages.py --driver build/win64/tests/e2edriver.exe \
    --packages "build/installers/$1" --work "build/e2e-packages-$1"
  drop_prefixes "build/e2e-packages-$1"
}
oldest() { # <windows> <driver> <program> <packages>
  python3 tests/e2e/e2e.py --driver "$2" --program "$3" --windows "$1" --work "build/e2e-$1"
  python3 tests/e2e/packages.py --driver "$2" --packages "$4" --windows "$1" --work "build/e2e-$1"
  drop_prefixes "build/e2e-$1"
}
packages_x64() { packages x64; }
packages_x86() { packages x86; }
oldest_vista() { oldest vista build/win64/tests/e2edriver.exe dist/dicreg-x64.exe build/installers/x64; }
oldest_winxp() { oldest winxp build/win32/tests/e2edriver.exe dist/dicreg.exe build/installers/x86; }
side_by_side packages_x64 oldest_vista
if runs_32bit; then
  side_by_side packages_x86 oldest_winxp
else
  echo "test: this machine runs no 32-bit programs; the Inno Setup setups and the Windows XP runs" \
    "are skipped" >&2
fi

# Signed packages: the installers workflow with a throwaway key from a PKCS#12 file and from
# SoftHSM2, faulty settings refused; it ends with the unsigned packages built again.
python3 tests/e2e/signing.py --driver build/win64/tests/e2edriver.exe \
  --packages "$(shipped_packages)" \
  --work build/e2e-signing
drop_prefixes build/e2e-signing build/installers
scripts/benchmark.sh --runs 5
