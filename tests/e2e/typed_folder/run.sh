#!/bin/bash
# A folder typed into the edit that ends with a backslash and already ends
# with the product's folder name: the backslash is dropped and the product's
# folder is appended once more, below the typed folder.
here=$(dirname "$0")
source "$here/../common/lib.sh"
e2e_begin
seed_registry "$here/seed.reg"
acad_folder "Program Files/Autodesk/AutoCAD 2016" Fonts
mkdir -p "$C/Custom Place"
install_package

setup_start
expect_initial_view 2016
expect_drv "type the folder" settext "{title}" 1000 'C:\Custom Place\{subdir}\'
expect_drv "click Install" click "{title}" 1022
expect_completion_view 1

inst="Custom Place/$SUBDIR_UTF8/$SUBDIR_UTF8"
expect_eq "payload in the typed folder's new subfolder" "placeholder Tarnix.prt7" \
  "$(head -n1 "$C/$inst/itextsharp.dll" 2>/dev/null)"
expect_eq "nothing else in the typed folder" "$SUBDIR_UTF8" "$(ls -A "$C/Custom Place/$SUBDIR_UTF8")"
expect_no_path "the default folder is not used" "$C/Tarnix"
reg_snapshot "$TX_WORK/reg-after.txt"
expect_same_file "registry names the typed folder" "$here/expected-registry.txt" "$TX_WORK/reg-after.txt"
e2e_finish
