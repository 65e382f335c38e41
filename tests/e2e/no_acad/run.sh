#!/bin/bash
# A machine without AutoCAD: the dialog still comes up, every release box is
# disabled and unticked, the completion button disabled and Install enabled.
# Cancel ends the dialog and the program, and nothing is written.
source "$(dirname "$0")/../common/lib.sh"
e2e_begin
install_package
reg_snapshot "$TX_WORK/reg-before.txt"

setup_start
expect_drv "a dialog of class #32770 with the title" \
  expect "{title}" window class=#32770 window visible=1
expect_initial_view
drv dump "{title}"
shot initial

expect_drv "the Cancel button" click "{title}" 2
expect_drv "the dialog ends" gone "{title}"
if setup_ended 15; then pass "the program ends with its dialog"; else fail "SetUp.exe still runs"; fi

reg_snapshot "$TX_WORK/reg-after.txt"
expect_same_file "registry untouched" "$TX_WORK/reg-before.txt" "$TX_WORK/reg-after.txt"
expect_no_path "no installation folder" "$C/Tarnix"
e2e_finish
