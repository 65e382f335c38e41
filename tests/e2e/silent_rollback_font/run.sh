#!/bin/bash
# SetUp.exe /S on the full-install machine with a folder where AutoCAD
# 2019's Tarnix_EN.shx must go. By then the payload, the settings file, every
# demand-load key and TRUSTEDPATHS value, 2008's driver (replaced) and 2016's
# fonts are done: the run undoes all of it and ends with 1603, leaving the
# registry and the files exactly as they were, and the log names the failed
# copy. Then, without the blocking folder, an installation where 2016 has no
# Fonts and 2008 no Drv folder: what cannot go anywhere is skipped, no failure.
here=$(dirname "$0")
full=$here/../full_install
source "$here/../common/lib.sh"
e2e_begin
seed_registry "$full/seed.reg"
full_install_acad_folders
full_install_files
fonts2019="$C/Program Files/Autodesk/AutoCAD 2019/Fonts"
mkdir -p "$fonts2019/Tarnix_EN.shx"

reg_snapshot_all "$TX_WORK/reg-before.txt"
full_install_tree "$TX_WORK/files-before.txt"
grep -qxF "[$UNINSTALL_ENTRY] absent" "$TX_WORK/reg-before.txt" || fatal "an entry is there before the run"

expect_drv "SetUp.exe /S runs to its end" run --timeout=150 'C:\pkg\SetUp.exe' /S
expect_eq "exit status" 1603 "$(drv_field exit)"
expect_eq "no visible window of the process at any time" 0 "$(drv_field windows)"

reg_snapshot_all "$TX_WORK/reg-after.txt"
expect_same_file "registry as before the run" "$TX_WORK/reg-before.txt" "$TX_WORK/reg-after.txt"
full_install_tree "$TX_WORK/files-after.txt"
expect_same_file "files as before the run" "$TX_WORK/files-before.txt" "$TX_WORK/files-after.txt"
expect_no_path "no installation folder" "$C/Tarnix"
expect_no_uninstall_entry "$TX_WORK/reg-after.txt"

logfile=$(setup_log)
if [ -f "$logfile" ]; then
  cp "$logfile" "$TX_WORK/TarnixSetup-1.log"
  target='C:\Program Files\Autodesk\AutoCAD 2019\Fonts\Tarnix_EN.shx'
  expect_failed_action "the log names the failed font and its error code" "$logfile" "$target"
else
  fail "no TarnixSetup.log in %TEMP%"
fi

# Missing Fonts and Drv folders are not failures.
rmdir "$fonts2019/Tarnix_EN.shx"
rm -rf "$C/Program Files/Autodesk/AutoCAD 2016/Fonts" "$C/Program Files (x86)/AutoCAD 2008/Drv"
expect_drv "SetUp.exe /S without some Fonts and Drv folders" run --timeout=150 'C:\pkg\SetUp.exe' /S
expect_eq "exit status" 0 "$(drv_field exit)"
expect_no_path "no Fonts folder made for 2016" "$C/Program Files/Autodesk/AutoCAD 2016/Fonts"
expect_no_path "no Drv folder made for 2008" "$C/Program Files (x86)/AutoCAD 2008/Drv"
expect_file "2008's fonts" "$C/Program Files (x86)/AutoCAD 2008/Fonts/Tarnix_EN.shx"
expect_file "2019's fonts" "$fonts2019/Tarnix_EN.shx"
expect_file "2020's fonts" "$C/Program Files/Autodesk/AutoCAD 2020/Fonts/Tarnix_HZ.shx"
if [ -f "$logfile" ] && ! grep -q 'action failed: ' "$logfile"; then
  pass "the log reports no failed action"
else
  fail "the log reports a failure: $(grep 'action failed: ' "$logfile" 2>/dev/null | head -n 1)"
fi
e2e_finish
