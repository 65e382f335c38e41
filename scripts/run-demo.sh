#!/bin/bash
# Installs what is missing, builds the package and runs its SetUp.exe under
# Wine on the demo machine (demo/: AutoCAD 2008, 2010, 2016, 2019 and 2024
# in the registry, their installation folders on drive C:).
#
# With a display ($DISPLAY) the installer's window opens there; use it, then
# close it. Without one the installer runs on a private Xvfb display: the
# script takes a screenshot, prints its path and closes the installer.
#
# Everything lives in build/win64/demo (TX_BUILD_DIR names another Windows
# build tree); each run starts from a fresh copy of the demo machine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

"$root/scripts/deps.sh"

tree=${TX_BUILD_DIR:-$root/build/win64}
echo "== building the package"
cmake -S . -B "$tree" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-w64-x86_64.cmake >/dev/null
cmake --build "$tree" --target setup_package txdrive -j "$(nproc)"
zip=$(ls "$tree"/package/TarnixSetup-*-win64.zip)
driver=$tree/tests/driver/txdrive.exe

source "$root/tests/wine/wine-env.sh" 2>/dev/null
source "$root/tests/wine/xvfb.sh"
demo=$tree/demo
mkdir -p "$demo"
headless=0
if [ -z "${DISPLAY:-}" ] || ! timeout 10 xdpyinfo >/dev/null 2>&1; then headless=1; fi

# A clean prefix is made once and copied for every run.
if [ ! -f "$demo/base/system.reg" ]; then
  echo "== making the demo's Wine prefix (once)"
  "$root/tests/wine/make-prefix.sh" "$demo/base"
fi
export WINEPREFIX=$demo/prefix
timeout 30 wineserver -k 2>/dev/null || true
rm -rf "$WINEPREFIX"
cp -a "$demo/base" "$WINEPREFIX"

cleanup() {
  timeout 30 wineserver -k 2>/dev/null || true
  xvfb_stop
}
trap cleanup EXIT

echo "== the demo machine"
regs=("$root"/demo/registry/*.reg)
if [ $headless -eq 1 ]; then
  # No window manager on Xvfb: Wine draws the title bar itself.
  regs+=("$root/tests/e2e/common/x11-frames.reg")
fi
"$root/tests/wine/import-reg.sh" "${regs[@]}"
cp -a "$root/demo/drive_c/." "$WINEPREFIX/drive_c/"
unzip -q -o "$zip" -d "$WINEPREFIX/drive_c"
echo "package $zip unpacked to C:\\TarnixSetup"

drive() { timeout 60 wine "$driver" "$@" >"$demo/driver.out" 2>&1; }

if [ $headless -eq 0 ]; then
  echo "== SetUp.exe on $DISPLAY; close its window to end the demo"
  (cd "$WINEPREFIX/drive_c/TarnixSetup" &&
    timeout 3600 wine 'C:\TarnixSetup\SetUp.exe' >"$demo/setup.log" 2>&1) || true
  timeout 60 wineserver -w || true
  echo "== what the installer left"
  drive regdump 'HKLM\SOFTWARE\Autodesk' 'HKLM\SOFTWARE\Wow6432Node\Autodesk' 'HKCU\SOFTWARE\Autodesk' || true
  grep -E 'TX_BatchPlot|LOADER|LOADCTRLS|Variables|TRUSTEDPATHS' "$demo/driver.out" || echo "(no registry entries)"
  (cd "$WINEPREFIX/drive_c" &&
    find Tarnix "Program Files/Autodesk" "Program Files (x86)/AutoCAD 2008" users/*/AppData/Roaming/Tarnix \
      -type f ! -name README.txt 2>/dev/null | sort) || true
else
  echo "== no display: SetUp.exe on a private Xvfb display"
  xvfb_start "$demo"
  (cd "$WINEPREFIX/drive_c/TarnixSetup" &&
    exec timeout 300 wine 'C:\TarnixSetup\SetUp.exe' >"$demo/setup.log" 2>&1) &
  setup_pid=$!
  if ! drive wait "{title}" --timeout=60; then
    cat "$demo/driver.out"
    echo "the installer's window did not appear" >&2
    exit 1
  fi
  sleep 1
  shot=$tree/screenshots/demo-initial.png
  xvfb_shot "$shot"
  echo "screenshot: $shot"
  drive close "{title}" || true
  for _ in $(seq 100); do kill -0 "$setup_pid" 2>/dev/null || break; sleep 0.1; done
  kill "$setup_pid" 2>/dev/null || true
  wait "$setup_pid" 2>/dev/null || true
  echo "installer closed"
fi
