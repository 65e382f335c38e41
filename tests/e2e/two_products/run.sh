#!/bin/bash
# One release key with two product keys: the release is offered once, and
# the installation registers the plug-in below both product keys and copies
# the fonts into both installation folders.
here=$(dirname "$0")
source "$here/../common/lib.sh"
e2e_begin
seed_registry "$here/seed.reg"
acad_folder "AutoCAD 2010 English" Fonts Drv
acad_folder "Program Files/Autodesk/AutoCAD 2010" Fonts Drv
install_package

setup_start
expect_initial_view 2010
expect_drv "click Install" click "{title}" 1022
expect_completion_view 1

reg_snapshot "$TX_WORK/reg-after.txt"
expect_same_file "registry after the installation" "$here/expected-registry.txt" "$TX_WORK/reg-after.txt"
{
  tree_dump "$C" "AutoCAD 2010 English" "Program Files/Autodesk/AutoCAD 2010"
} >"$TX_WORK/files-after.txt"
expect_same_file "fonts in both installations, no driver" "$here/expected-files.txt" "$TX_WORK/files-after.txt"
e2e_finish
