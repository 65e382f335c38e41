#!/bin/bash
# SetUp.exe /S on the full-install machine whose installation folder is
# already there, holding an older itextsharp.dll and a folder where
# PdfSharp.dll must go. That copy fails after the settings file and
# itextsharp.dll were replaced: the run undoes itself and ends with 1603,
# leaving the registry and the files exactly as they were (the folders it
# did not make included), and the log names the failed copy.
here=$(dirname "$0")
full=$here/../full_install
source "$here/../common/lib.sh"
e2e_begin
seed_registry "$full/seed.reg"
full_install_acad_folders
full_install_files
install_dir="Tarnix/$SUBDIR_UTF8"
mkdir -p "$C/$install_dir/PdfSharp.dll"
printf 'old itextsharp\n' >"$C/$install_dir/itextsharp.dll"

# The replaced files must come before the failing one, or nothing is undone.
mapfile -t entries < <(data_listing 'C:\pkg\Data')
pos() { local i; for i in "${!entries[@]}"; do [ "${entries[$i]}" == "$1" ] && echo "$i"; done; }
[ -n "$(pos Tarnix.prt9)" ] || fatal "Tarnix.prt9 not in the Data listing"
for name in Tarnix.Ini Tarnix.prt7; do
  [ -n "$(pos "$name")" ] && [ "$(pos "$name")" -lt "$(pos Tarnix.prt9)" ] ||
    fatal "$name is not listed before Tarnix.prt9: ${entries[*]}"
done

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
expect_no_uninstall_entry "$TX_WORK/reg-after.txt"

logfile=$(setup_log)
if [ -f "$logfile" ]; then
  cp "$logfile" "$TX_WORK/TarnixSetup.log"
  target='C:\Tarnix\Tarnix批打印软件\PdfSharp.dll'
  expect_failed_action "the log names the failed copy and its error code" "$logfile" "$target"
  grep -q "exit status 1603" "$logfile" && pass "the log ends with the exit status" ||
    fail "no exit status 1603 in the log"
else
  fail "no TarnixSetup.log in %TEMP%"
fi
e2e_finish
