#!/bin/bash
# The packaged SetUp.exe carries the manifest of its Data folder. Untouched,
# the package installs and the log says it was verified. With one Data file
# changed (the same size), grown, added, removed, or given a second name (a
# hard link), /S ends with 1603 having changed nothing, no folder left, the
# log naming the file; with one file changed the dialog shows the no-Data
# message and ends, nothing changed. The program as linked, without a
# manifest, installs a changed Data folder and logs that it is unverified.
# (A symbolic link shows under Wine as the file it names; the fakes refuse
# a link as Windows shows it.)
here=$(dirname "$0")
source "$here/../common/lib.sh"
e2e_begin
seed_registry "$here/seed.reg"
acad_folder "Program Files (x86)/AutoCAD 2008" Fonts Drv
acad_folder "Program Files/Autodesk/AutoCAD 2019" Fonts
reg_snapshot_all "$TX_WORK/reg-before.txt"
INSTALLED=$C/Tarnix/$SUBDIR_UTF8
DRIVER="$C/Program Files (x86)/AutoCAD 2008/Drv/pdfplot9.hdi"
FONT="$C/Program Files/Autodesk/AutoCAD 2019/Fonts/Tarnix_EN.shx"

fresh_package() {
  rm -rf "$C/pkg"
  install_package
  cmp -s "$TX_PACKAGE_DIR/SetUp.exe" "$C/pkg/SetUp.exe" || fatal "not the packaged SetUp.exe"
}

nothing_changed() {  # DESCRIPTION
  reg_snapshot_all "$TX_WORK/reg-now.txt"
  expect_same_file "$1: registry unchanged" "$TX_WORK/reg-before.txt" "$TX_WORK/reg-now.txt"
  expect_no_path "$1: no installation folder, none of its levels" "$C/Tarnix"
  expect_no_path "$1: no settings folder" "$APPDATA_DIR/Tarnix"
  expect_no_path "$1: no font" "$FONT"
  expect_no_path "$1: no driver" "$DRIVER"
}

refused() {  # DESCRIPTION LOGGED-REASON
  expect_drv "$1: /S runs to its end" run --timeout=150 'C:\pkg\SetUp.exe' /S
  expect_eq "$1: exit status 1603" 1603 "$(drv_field exit)"
  expect_eq "$1: no visible window" 0 "$(drv_field windows)"
  nothing_changed "$1"
  if grep -qF "package refused: $2" "$(setup_log)" 2>/dev/null; then
    pass "$1: the log says why"
  else
    fail "$1: no 'package refused: $2' in the log"
  fi
}

fresh_package
sed -i 's/placeholder/Placeholder/' "$C/pkg/Data/TX_BatchPlot2019.ARX"
refused "one file changed, the same size" "TX_BatchPlot2019.ARX has changed"

fresh_package
printf 'more\n' >>"$C/pkg/Data/Tarnix.prt5"
refused "the driver grown" "Tarnix.prt5 has changed"

fresh_package
printf 'placeholder Readme.txt\n' >"$C/pkg/Data/Readme.txt"
refused "a file added" "Readme.txt is not in the manifest"

fresh_package
rm "$C/pkg/Data/Tarnix_HZ.shx"
refused "a file removed" "Tarnix_HZ.shx is missing"

fresh_package
ln "$C/pkg/Data/Tarnix.Ini" "$C/elsewhere.ini"
refused "a file with a second name" "Tarnix.Ini has more than one name"
rm -f "$C/elsewhere.ini"

# The dialog: the no-Data message, then it ends.
fresh_package
sed -i 's/placeholder/Placeholder/' "$C/pkg/Data/TX_BatchPlot2021.ARX"
setup_start
expect_initial_view 2008 2019
expect_drv "changed package: click Install" click "{title}" 1022
expect_drv "changed package: the no-Data message" \
  msgbox --caption="{caption}" --text="{no_data}" --buttons=1 --icon=0 --press=1
expect_drv "changed package: the dialog ends" gone "{title}"
if setup_ended 15; then pass "changed package: the program ends"; else fail "SetUp.exe still runs"; fi
nothing_changed "changed package, the dialog"

# Untouched, it installs.
fresh_package
expect_drv "untouched package: /S runs to its end" run --timeout=150 'C:\pkg\SetUp.exe' /S
expect_eq "untouched package: exit status" 0 "$(drv_field exit)"
expect_eq "untouched package: a module" "placeholder TX_BatchPlot2019.ARX" \
  "$(head -n 1 "$INSTALLED/TX_BatchPlot2019.ARX" 2>/dev/null)"
expect_eq "untouched package: the font" "placeholder Tarnix_EN.shx" "$(head -n 1 "$FONT" 2>/dev/null)"
expect_eq "untouched package: the driver" "placeholder Tarnix.prt5" "$(head -n 1 "$DRIVER" 2>/dev/null)"
expect_eq "untouched package: the settings" "placeholder Tarnix.Ini" \
  "$(head -n 1 "$APPDATA_DIR/Tarnix/Tarnix.Ini" 2>/dev/null)"
grep -qF "package verified: 15 files match the program's manifest" "$(setup_log)" 2>/dev/null &&
  pass "untouched package: the log says it was verified" || fail "no 'package verified' in the log"

# A developer's build installs what Data holds.
fresh_package
cp "$TX_UNVERIFIED_SETUP" "$C/pkg/SetUp.exe"
sed -i 's/placeholder/Changed/' "$C/pkg/Data/TX_BatchPlot2019.ARX"
expect_drv "without a manifest: /S runs to its end" run --timeout=150 'C:\pkg\SetUp.exe' /S
expect_eq "without a manifest: exit status" 0 "$(drv_field exit)"
expect_eq "without a manifest: the changed module is installed" "Changed TX_BatchPlot2019.ARX" \
  "$(head -n 1 "$INSTALLED/TX_BatchPlot2019.ARX" 2>/dev/null)"
grep -qF "package unverified: the program carries no manifest" "$(setup_log)" 2>/dev/null &&
  pass "without a manifest: the log says the package is unverified" ||
  fail "no 'package unverified' in the log"
e2e_finish
