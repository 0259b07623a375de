#!/usr/bin/env bash
# Makes the pictures of the guides (docs/*.png) anew from the interactive tests: the Japanese
# setup's licence, folder and finish pages, dicreg's message box during an install, the status
# report that the finish page then opens in Notepad, and dicreg's box for an unexpected failure.
# The packages are the example's, with the test's icon and sample licence.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/wine.sh
[ -f dist/dicreg.exe ] && [ -f dist/dicreg-x64.exe ] || cmake --workflow --preset release >/dev/null
DICREG_ICON=tests/e2e/publisher.ico DICREG_LICENSE=tests/e2e/license.txt \
  cmake --workflow --preset installers >/dev/null
cmake --preset win64 >/dev/null
cmake --build --preset win64 --target e2edriver failurebox >/dev/null
python3 tests/e2e/interactive.py --driver build/win64/tests/e2edriver.exe \
  --packages "$(shipped_packages)" --work build/e2e-interactive --shots build/e2e
mkdir -p docs
# The setup's window (and the box in front of it), without the empty desktop around it.
for picture in "ja-nsis-setup-02-license setup-license" "ja-nsis-setup-03-folder setup-folder" \
  "ja-nsis-setup-04-finish setup-finish" \
  "ja-nsis-setup-no-set-in-use-04-messagebox setup-messagebox" \
  "ja-nsis-setup-no-set-in-use-05-finish setup-finish-not-registered"; do
  set -- $picture
  convert "build/e2e/$1.png" -crop 512x396+256+186 +repage -strip "docs/$2.png"
  echo "docs/$2.png"
done
# Notepad opens at the desktop's top left corner.
convert build/e2e/ja-nsis-setup-no-set-in-use-06-report.png -crop 728x420+0+0 +repage -strip \
  docs/report.png
echo docs/report.png
# dicreg's box for an unexpected failure, shown by dicreg's own code in a Japanese user's Wine
# desktop: no run of the program can be made to fail so from outside.
python3 - <<'EOF'
import os, subprocess, sys, time
sys.path.insert(0, "tests/e2e")
from winesession import WineSession
session = WineSession("build/e2e-failurebox", os.path.abspath("build/win64/tests/e2edriver.exe"),
                      lang="ja_JP.UTF-8", desktop=True)
try:
    shown = subprocess.Popen([session.wine, os.path.abspath("build/win64/tests/failurebox.exe")],
                             env=session.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for _ in range(150):
        if subprocess.run(["xdotool", "search", "--name", "^dicreg$"], env=session.env,
                          capture_output=True).stdout:
            break
        time.sleep(0.2)
    time.sleep(1)  # let it paint
    subprocess.run(["import", "-window", "root", "build/e2e/dicreg-failure.png"], env=session.env)
    subprocess.run(["xdotool", "key", "Return"], env=session.env)
    shown.wait(timeout=30)
finally:
    session.close()
EOF
convert build/e2e/dicreg-failure.png -crop 256x110+383+329 +repage -strip docs/dicreg-failure.png
echo docs/dicreg-failure.png
