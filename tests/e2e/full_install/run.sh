#!/bin/bash
# A full installation into the default folder on a machine with AutoCAD 2008
# (registered in both registry trees), 2016, 2019 and 2020, and an AutoCAD
# 2017 key without a product name. Afterwards: the demand-load entries below
# every product key of the ticked releases, TRUSTEDPATHS in every profile,
# the payload in the installation folder, the settings file in the user's
# folder, the fonts in every ticked installation and the driver in 2008's
# only; the dialog in its completion view.
here=$(dirname "$0")
source "$here/../common/lib.sh"
e2e_begin
seed_registry "$here/seed.reg"
full_install_acad_folders
full_install_files

setup_start
expect_initial_view 2008 2016 2019 2020
drv dump "{title}"
cp "$DRV_OUT" "$TX_WORK/dump-initial.txt"
shot initial
expect_dialog_colours "$TX_WORK/raw-initial.png" "$TX_WORK/dump-initial.txt" 1019

expect_drv "click Install" click "{title}" 1022
expect_completion_view 1
expect_drv "no message was shown" nomsgbox
drv dump "{title}"
cp "$DRV_OUT" "$TX_WORK/dump-completion.txt"
shot completion
n=$(colour_count "$TX_WORK/raw-completion.png" "$TX_WORK/dump-completion.txt" 1023 0,0,0)
if [ "$n" -ge 10 ]; then pass "completion note in black ($n pixels)"; else fail "completion note: $n black pixels"; fi

# The window loses the distance between the completion and Cancel buttons'
# bottoms, so the completion button becomes its lowest control.
rect0=$(dump_field "$TX_WORK/dump-initial.txt" "window " rect)
rect1=$(dump_field "$TX_WORK/dump-completion.txt" "window " rect)
ok_rect=$(dump_field "$TX_WORK/dump-initial.txt" "control id=1 " rect)
cancel_rect=$(dump_field "$TX_WORK/dump-initial.txt" "control id=2 " rect)
IFS=, read -r l0 t0 r0 b0 <<<"$rect0"
IFS=, read -r l1 t1 r1 b1 <<<"$rect1"
IFS=, read -r _ _ _ okb <<<"$ok_rect"
IFS=, read -r _ _ _ cb <<<"$cancel_rect"
expect_eq "window position and width kept" "$l0,$t0,$r0" "$l1,$t1,$r1"
expect_eq "window shortened by the buttons' distance" "$((b0 + okb - cb))" "$b1"

reg_snapshot "$TX_WORK/reg-after.txt"
expect_same_file "registry after the installation" "$here/expected-registry.txt" "$TX_WORK/reg-after.txt"

{
  echo "== C:"
  tree_dump "$C" Tarnix "Program Files (x86)/AutoCAD 2008" "Program Files/Autodesk"
  echo "== APPDATA:"
  tree_dump "$APPDATA_DIR" Tarnix
} >"$TX_WORK/files-after.txt"
expect_same_file "files after the installation" "$here/expected-files.txt" "$TX_WORK/files-after.txt"

expect_drv "the completion button" click "{title}" 1
expect_drv "the dialog ends" gone "{title}"
if setup_ended 15; then pass "the program ends with its dialog"; else fail "SetUp.exe still runs"; fi
e2e_finish
