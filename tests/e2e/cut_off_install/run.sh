#!/bin/bash
# SetUp.exe /S ended by TerminateProcess while it copies a large payload
# file (as a power cut or a crash would end it). The Programs and Features
# entry, Active Setup's keys and the uninstaller are there already, so the
# cut-off installation is uninstalled from the entry: the machine as before.
# Cut off the same way again and run again: the second run completes it,
# and its uninstall gives back the machine as before.
here=$(dirname "$0")
source "$here/../common/lib.sh"
e2e_begin
source "$E2E_COMMON/convergence.sh"
conv_machine_setup
# Large enough that copying it takes a while.
big_mb=1500
truncate -s "${big_mb}M" "$C/pkg/Data/Big.bin"
# A Data folder the package's manifest does not list: the build without one.
cp "$TX_UNVERIFIED_SETUP" "$C/pkg/SetUp.exe"
conv_machine "$TX_WORK/before.txt"
dir=$C/Tarnix/$SUBDIR_UTF8

cut_off_install() {  # LABEL
  expect_drv "$1: SetUp.exe /S started" runkill --timeout=170 '--when=C:\Tarnix\{subdir}\Big.bin' \
    'C:\pkg\SetUp.exe' /S
  expect_eq "$1: ended by TerminateProcess" 1 "$(drv_field killed)"
  local size
  size=$(stat -c %s "$dir/Big.bin" 2>/dev/null || echo 0)
  [ "$size" -lt $((big_mb * 1024 * 1024)) ] ||
    fatal "$1: Big.bin was copied whole before the kill; the cut came too late"
  log "$1: cut off with $size bytes of Big.bin copied"
  timeout 30 wineserver -w
  # Written before the payload: the installation is known and uninstallable.
  drv regdump "$ENTRY" >/dev/null
  grep -qF "[$ENTRY]" "$DRV_OUT" && ! grep -qF "[$ENTRY] absent" "$DRV_OUT" &&
    pass "$1: the Programs and Features entry was written before the payload" ||
    fail "$1: no Programs and Features entry after the cut"
  drv regdump "$AS_MACHINE" >/dev/null
  grep -q '^  StubPath=' "$DRV_OUT" && pass "$1: Active Setup's key was written before the payload" ||
    fail "$1: no Active Setup key after the cut"
  expect_file "$1: the uninstaller was written before the payload" "$dir/Uninstall.exe"
}

cut_off_install "first cut"
quiet=$(reg_value "$ENTRY" QuietUninstallString | sed 's/\\\\/\\/g')
expect_eq "the entry's QuietUninstallString" "\"C:\\Tarnix\\$SUBDIR_UTF8\\Uninstall.exe\" /S" "$quiet"
silent_uninstall "uninstall of the cut-off installation" 0 "C:\\Tarnix\\{subdir}\\Uninstall.exe"
for _ in $(seq 100); do [ -e "$C/Tarnix" ] || break; sleep 0.2; done
conv_machine "$TX_WORK/after-1.txt"
expect_same_file "cut off and uninstalled: the machine as before" "$TX_WORK/before.txt" "$TX_WORK/after-1.txt"

cut_off_install "second cut"
silent_install "the run after the cut" 0
expect_installed_in "completed" 'C:\Tarnix' 'D:\CAD'
expect_eq "Big.bin copied whole" "$((big_mb * 1024 * 1024))" "$(stat -c %s "$dir/Big.bin" 2>/dev/null)"
silent_uninstall "uninstall" 0 "C:\\Tarnix\\{subdir}\\Uninstall.exe"
for _ in $(seq 100); do [ -e "$C/Tarnix" ] || break; sleep 0.2; done
conv_machine "$TX_WORK/after-2.txt"
expect_same_file "completed and uninstalled: the machine as before" "$TX_WORK/before.txt" "$TX_WORK/after-2.txt"
e2e_finish
