#!/bin/bash
# Only AutoCAD 2010 installed: its box (id 1027, not 1026) is the only one
# enabled, and it is ticked. Unticking it disables the completion button,
# ticking it again enables it; the Install button never changes. The close
# box ends the program.
source "$(dirname "$0")/../common/lib.sh"
e2e_begin
seed_registry "$(dirname "$0")/seed.reg"
acad_folder "Program Files/Autodesk/AutoCAD 2010" Fonts
install_package

setup_start
expect_initial_view 2010
shot initial

expect_drv "untick 2010" click "{title}" 1027
expect_drv "no release ticked: completion button disabled, Install unchanged" \
  expect "{title}" 1027 checked=0 enabled=1 1 enabled=0 visible=0 1022 enabled=1 visible=1
expect_drv "tick 2010 again" click "{title}" 1027
expect_drv "a release ticked: completion button enabled, Install unchanged" \
  expect "{title}" 1027 checked=1 1 enabled=1 visible=0 1022 enabled=1 visible=1

expect_drv "the close box ends the dialog" close "{title}"
if setup_ended 15; then pass "the program ends with its dialog"; else fail "SetUp.exe still runs"; fi
expect_no_path "no installation folder" "$C/Tarnix"
e2e_finish
