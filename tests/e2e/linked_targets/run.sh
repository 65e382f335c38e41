#!/bin/bash
# Names the elevated installer writes outside its own folder, made second
# names (hard links) of a file it must not change: AutoCAD 2019's
# Tarnix_EN.shx, then the user's %APPDATA%\Tarnix\Tarnix.Ini. Each /S run
# refuses the linked target, undoes everything and ends with 1603: the
# linked file, the registry and the files are as before, and the log names
# the refused target with error 1920 (ERROR_CANT_ACCESS_FILE). Without the
# links the run completes.
here=$(dirname "$0")
full=$here/../full_install
source "$here/../common/lib.sh"
e2e_begin
seed_registry "$full/seed.reg"
full_install_acad_folders
full_install_files
victim="$C/victim.dat"
printf 'only administrators may change this\n' >"$victim"

refused() {  # DESCRIPTION UNIX-PATH WINDOWS-PATH
  ln "$victim" "$2" || fatal "cannot link $2"
  reg_snapshot_all "$TX_WORK/reg-before.txt"
  full_install_tree "$TX_WORK/files-before.txt"
  expect_drv "$1: SetUp.exe /S runs to its end" run --timeout=150 'C:\pkg\SetUp.exe' /S
  expect_eq "$1: exit status" 1603 "$(drv_field exit)"
  expect_eq "$1: the linked file is untouched" 'only administrators may change this' "$(cat "$victim")"
  expect_eq "$1: still two names" 2 "$(stat -c %h "$victim")"
  reg_snapshot_all "$TX_WORK/reg-after.txt"
  expect_same_file "$1: registry as before" "$TX_WORK/reg-before.txt" "$TX_WORK/reg-after.txt"
  full_install_tree "$TX_WORK/files-after.txt"
  expect_same_file "$1: files as before" "$TX_WORK/files-before.txt" "$TX_WORK/files-after.txt"
  local logfile
  logfile=$(setup_log)
  if grep -F 'action failed: ' "$logfile" 2>/dev/null | grep -qF "$3 (error 1920)"; then
    pass "$1: the log names the refused target"
  else
    fail "$1: no 'action failed: ... $3 (error 1920)' in the log"
    grep -F 'action failed: ' "$logfile" 2>/dev/null | sed 's/^/    /'

  fi
  rm -f "$2"
}

refused "a font" "$C/Program Files/Autodesk/AutoCAD 2019/Fonts/Tarnix_EN.shx" \
  'C:\Program Files\Autodesk\AutoCAD 2019\Fonts\Tarnix_EN.shx'
rm -f "$APPDATA_DIR/Tarnix/Tarnix.Ini"
refused "the settings file" "$APPDATA_DIR/Tarnix/Tarnix.Ini" 'AppData\Roaming\Tarnix\Tarnix.Ini'

expect_drv "without links: SetUp.exe /S" run --timeout=150 'C:\pkg\SetUp.exe' /S
expect_eq "without links: exit status" 0 "$(drv_field exit)"
expect_file "2019's font" "$C/Program Files/Autodesk/AutoCAD 2019/Fonts/Tarnix_EN.shx"
expect_file "the settings file" "$APPDATA_DIR/Tarnix/Tarnix.Ini"
expect_eq "the linked file is still untouched" 'only administrators may change this' "$(cat "$victim")"
e2e_finish
