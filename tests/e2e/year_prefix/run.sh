#!/bin/bash
# Product names that begin with a year text: that year does not match, a
# later year of the table still may. Also a name with two years and a 2010
# in the 32-bit tree. Only 2007 and 2021 are offered; installing registers
# TX_BatchPlot2007 (module 2008) and TX_BatchPlot2021 (module 2021).
here=$(dirname "$0")
source "$here/../common/lib.sh"
e2e_begin
seed_registry "$here/seed.reg"
for y in 2007 2016 2019 2021; do acad_folder "Program Files/Autodesk/AutoCAD $y" Fonts; done
acad_folder "Program Files (x86)/AutoCAD 2010" Fonts
install_package

setup_start
expect_initial_view 2007 2021
shot initial
expect_drv "click Install" click "{title}" 1022
expect_completion_view 1

reg_snapshot "$TX_WORK/reg-after.txt"
expect_same_file "registry after the installation" "$here/expected-registry.txt" "$TX_WORK/reg-after.txt"
{
  tree_dump "$C" "Program Files/Autodesk" "Program Files (x86)/AutoCAD 2010"
} >"$TX_WORK/files-after.txt"
expect_same_file "fonts only in the offered releases" "$here/expected-files.txt" "$TX_WORK/files-after.txt"
e2e_finish
