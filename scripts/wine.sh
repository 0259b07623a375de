# Sourced by the scripts that run Windows programs under Wine.
#
# Some kernels have their 32-bit emulation switched off ("32-bit emulation disabled" in dmesg):
# Wine's 32-bit loader cannot start there, and with it no 32-bit Windows program. The 64-bit
# programs still run, through wine64 directly (the "wine" wrapper insists on the 32-bit loader
# whenever it is installed).
WINE32=/usr/lib/wine/wine
WINE64=/usr/lib/wine/wine64

runs_32bit() { "$WINE32" --version >/dev/null 2>&1; }

# The shipped programs this machine can run, one a line.
runnable_programs() {
  if runs_32bit; then
    echo dist/dicreg.exe
  else
    echo "note: this machine runs no 32-bit programs; dist/dicreg.exe is built and checked," \
      "not run" >&2
  fi
  echo dist/dicreg-x64.exe
}

# The packages nearest to what dist/ ships that this machine can run: those built around the
# 32-bit program, or where 32-bit programs do not run, around the 64-bit one.
shipped_packages() {
  if runs_32bit; then echo build/installers/x86; else echo build/installers/x64; fi
}
