#!/bin/bash
# SetUp.exe without a Data folder beside it (and with a plain file named Data
# in a second run): the message, then the dialog and the program end; the
# registry is untouched and nothing is copied.
here=$(dirname "$0")
source "$here/../common/lib.sh"
e2e_begin
seed_registry "$here/seed.reg"
acad_folder "Program Files/Autodesk/AutoCAD 2016" Fonts
mkdir -p "$C/pkg" "$C/pkg2"
cp "$TX_PACKAGE_DIR/SetUp.exe" "$C/pkg/SetUp.exe"
cp "$TX_PACKAGE_DIR/SetUp.exe" "$C/pkg2/SetUp.exe"
printf 'not a folder\n' >"$C/pkg2/Data"
reg_snapshot "$TX_WORK/reg-before.txt"

for pkg in pkg pkg2; do
  log "-- SetUp.exe in C:\\$pkg"
  setup_start "C:\\$pkg\\SetUp.exe"
  expect_initial_view 2016
  expect_drv "click Install" click "{title}" 1022
  expect_drv "the message: text, caption, one OK button, no icon" \
    msgbox --caption="{caption}" --text="{no_data}" --buttons=1 --icon=0 --press=1
  expect_drv "the dialog ends" gone "{title}"
  if setup_ended 15; then pass "the program ends with its dialog"; else fail "SetUp.exe still runs"; fi

  reg_snapshot "$TX_WORK/reg-after.txt"
  expect_same_file "registry untouched" "$TX_WORK/reg-before.txt" "$TX_WORK/reg-after.txt"
  # The folders are made before the payload is looked for, and removed
  # again: the run changes nothing.
  expect_no_path "no installation folder left" "$C/Tarnix"
  expect_no_path "no settings folder" "$APPDATA_DIR/Tarnix"
  expect_no_path "no fonts" "$C/Program Files/Autodesk/AutoCAD 2016/Fonts/Tarnix_EN.shx"
done
e2e_finish
