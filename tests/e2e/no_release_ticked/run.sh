#!/bin/bash
# Install with no release ticked: the payload is deployed, no demand-load
# entry is written, the trusted paths are still updated, no font is copied
# and the completion view's button is disabled.
here=$(dirname "$0")
source "$here/../common/lib.sh"
e2e_begin
seed_registry "$here/seed.reg"
acad_folder "Program Files/Autodesk/AutoCAD 2016" Fonts Drv
install_package

setup_start
expect_initial_view 2016
expect_drv "untick 2016" click "{title}" 1032
expect_drv "nothing ticked" expect "{title}" 1032 checked=0 1 enabled=0
expect_drv "click Install" click "{title}" 1022
expect_completion_view 0
shot completion

reg_snapshot "$TX_WORK/reg-after.txt"
expect_same_file "registry: trusted path only" "$here/expected-registry.txt" "$TX_WORK/reg-after.txt"
expect_eq "payload deployed" "placeholder Tarnix.prt8" \
  "$(head -n1 "$C/Tarnix/$SUBDIR_UTF8/PdfSharp.Charting.dll" 2>/dev/null)"
expect_file "settings deployed" "$APPDATA_DIR/Tarnix/Tarnix.Ini"
expect_eq "no support files in the unticked installation" "" \
  "$(find "$C/Program Files/Autodesk/AutoCAD 2016" -type f)"

# The disabled completion button leaves the close box.
expect_drv "the close box ends the dialog" close "{title}"
if setup_ended 15; then pass "the program ends with its dialog"; else fail "SetUp.exe still runs"; fi
e2e_finish
