#!/usr/bin/env bash
# Installs what building and testing dicreg needs on Debian, skipping what is already there.
set -euo pipefail

need=()
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "ok installed"; }
# The programs build with the win32 thread model of MinGW-w64, the unit tests with the POSIX one.
for pkg in cmake g++ make googletest python3 g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32 \
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686 \
  binutils-mingw-w64-x86-64 wine wine64 xvfb xauth xdotool imagemagick fonts-ipafont-gothic \
  python3-pefile python3-olefile msitools nsis wixl osslsigncode openssl softhsm2 \
  libengine-pkcs11-openssl locales x11-utils; do
  have "$pkg" || need+=("$pkg")
done
# npm fetches Inno Setup's compilers; a Node.js installed otherwise is kept.
command -v npm >/dev/null || need+=(nodejs npm)
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
  need+=(wine32:i386)
elif ! have wine32:i386; then
  need+=(wine32:i386)
fi

if [ ${#need[@]} -gt 0 ]; then
  echo "setup: installing ${need[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

# The interactive tests run Wine as a Japanese and as an English user; without the locale on the
# machine, Wine silently falls back to English.
for locale in ja_JP en_US; do
  if ! locale -a | grep -qix "$locale.utf-\?8"; then
    $sudo localedef -i "$locale" -f UTF-8 "$locale.UTF-8"
  fi
done

# Inno Setup's compilers come from the npm registry, as its lockfile pins them.
inno="$(dirname "$0")/../examples/inno"
if [ ! -f "$inno/node_modules/.package-lock.json" ] ||
  [ "$inno/package-lock.json" -nt "$inno/node_modules/.package-lock.json" ]; then
  echo "setup: installing Inno Setup from the npm registry"
  (cd "$inno" && npm ci --ignore-scripts --no-audit --no-fund >/dev/null)
fi
