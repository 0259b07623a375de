#!/usr/bin/env bash
# Compiles an Inno Setup script on Linux: Inno Setup's compiler (ISCC.exe, 32-bit) runs under
# Wine, in a prefix of its own that is made on first use.
#
# usage: iscc.sh --compiler <folder of ISCC.exe> --prefix <Wine prefix> --out <setup.exe>
#                [--sign <command>] [--define NAME=VALUE]... [--path NAME=<file>]... <script.iss>
#
# --define passes /DNAME=VALUE to the script; --path does the same with the file's Windows path.
# --sign names a command that signs the files it is given in place. The uninstaller is signed
# the way Inno Setup offers for a signing tool outside it: a compile with SignedUninstallerDir
# stops after writing the unsigned uninstaller there, the command signs it, and a second compile
# packs the signed copy. The setup is signed last.
set -euo pipefail

windows() { # <path>: the path as Wine's Z: drive shows it
  local full
  full=$(realpath -m "$1")
  printf 'Z:%s' "${full//\//\\}"
}

compiler="" prefix="" out="" sign="" script="" defines=()
while [ $# -gt 0 ]; do
  case "$1" in
  --compiler) compiler=$2; shift 2 ;;
  --prefix) prefix=$2; shift 2 ;;
  --out) out=$2; shift 2 ;;
  --sign) sign=$2; shift 2 ;;
  --define) defines+=("/D$2"); shift 2 ;;
  --path) defines+=("/D${2%%=*}=$(windows "${2#*=}")"); shift 2 ;;
  *) script=$1; shift ;;
  esac
done
if [ -z "$compiler" ] || [ -z "$prefix" ] || [ -z "$out" ] || [ -z "$script" ]; then
  echo "iscc.sh: give --compiler, --prefix, --out and the script" >&2
  exit 2
fi
if [ ! -f "$compiler/ISCC.exe" ]; then
  echo "iscc.sh: no ISCC.exe in $compiler (run scripts/setup.sh, or npm ci in examples/inno)" >&2
  exit 2
fi

export WINEPREFIX
WINEPREFIX=$(realpath -m "$prefix")
export WINEARCH=win32 WINEDEBUG=-all
unset DISPLAY
wine=/usr/lib/wine/wine

# Several setups may build at once: one of them makes the prefix. Wine now and then fails to
# make one; that attempt goes and Wine starts again from nothing.
mkdir -p "$(dirname "$WINEPREFIX")"
(
  flock 9
  for _ in 1 2 3; do
    [ -f "$WINEPREFIX/system.reg" ] && break
    if ! "$wine" wineboot -i >"$WINEPREFIX.log" 2>&1; then
      wineserver -k 2>/dev/null || true
      rm -rf "$WINEPREFIX"
    fi
    wineserver -w
  done
  [ -f "$WINEPREFIX/system.reg" ] || { echo "iscc.sh: Wine made no prefix; see $WINEPREFIX.log" >&2; exit 1; }
) 9>"$WINEPREFIX.lock"

mkdir -p "$(dirname "$out")"
name=$(basename "$out" .exe)
# The compiler's output and the uninstaller to sign stay beside the prefix.
work=$(dirname "$WINEPREFIX")
log="$work/$name.log"
compile() {
  "$wine" "$compiler/ISCC.exe" /Q "/O$(windows "$(dirname "$out")")" "/F$name" "${defines[@]}" \
    "$(windows "$script")" >"$log" 2>&1
}

rm -f "$out"
if [ -n "$sign" ]; then
  uninstallers="$work/$name.uninstallers"
  rm -rf "$uninstallers"
  mkdir -p "$uninstallers"
  defines+=("/DSignedUninstallerDir=$(windows "$uninstallers")")
  # The first compile stops, asking for the uninstaller it wrote to be signed.
  if ! compile; then
    mapfile -t written < <(find "$uninstallers" -name '*.e32')
    if [ ${#written[@]} -eq 0 ]; then
      cat "$log" >&2
      exit 1
    fi
    "$sign" "${written[@]}"
  fi
fi
if ! compile; then
  cat "$log" >&2
  exit 1
fi
rm -f "$log"
if [ -n "$sign" ]; then
  "$sign" "$out"
fi
