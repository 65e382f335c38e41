#!/bin/bash
# An uninstall that ends with 3010 (a file of the installation held open by
# another program, and still held: removed at the next restart), then SetUp.exe before that
# restart: silently it ends with 1618 and changes nothing, with or without
# another folder; interactively Install shows the stop box and nothing changes.
here=$(dirname "$0")
source "$here/../common/lib.sh"
e2e_begin
source "$E2E_COMMON/convergence.sh"
conv_machine_setup
SESSION='HKLM\SYSTEM\CurrentControlSet\Control\Session Manager'

# The machine plus the renames a restart would make.
pending_machine() {  # FILE
  conv_machine "$1"
  drv regdump --wide "$SESSION" >/dev/null
  grep '^  PendingFileRenameOperations' "$DRV_OUT" >>"$1"
}

silent_install "installation" 0
(exec timeout 170 wine "$TX_DRIVER" hold 'C:\Tarnix\{subdir}\itextsharp.dll' --until='C:\release.flag' \
  --timeout=160 >"$TX_WORK/hold.out" 2>&1 </dev/null) &
HELPER_PIDS+=($!)
for _ in $(seq 100); do grep -q '^held' "$TX_WORK/hold.out" 2>/dev/null && break; sleep 0.1; done
grep -q '^held' "$TX_WORK/hold.out" || fatal "could not hold itextsharp.dll: $(cat "$TX_WORK/hold.out")"
silent_uninstall "uninstall while a file is held" 3010 "C:\\Tarnix\\{subdir}\\Uninstall.exe"
# Still held while the installer runs: once it is let go, the uninstaller's
# cleanup copy removes the rest itself and nothing is pending any more.
pending_machine "$TX_WORK/pending.txt"
grep -q '^  PendingFileRenameOperations' "$TX_WORK/pending.txt" &&
  pass "a rename at the next restart is pending" || fail "no PendingFileRenameOperations after 3010"

silent_install "SetUp.exe /S before the restart" 1618
pending_machine "$TX_WORK/after-silent.txt"
expect_same_file "silent: nothing changed" "$TX_WORK/pending.txt" "$TX_WORK/after-silent.txt"

silent_install "SetUp.exe /S /D=D:\\CAD before the restart" 1618 '/D=D:\CAD'
pending_machine "$TX_WORK/after-silent-d.txt"
expect_same_file "silent into another folder: nothing changed" "$TX_WORK/pending.txt" "$TX_WORK/after-silent-d.txt"

setup_start
expect_drv "interactive: Install" click "{title}" 1022
expect_drv "interactive: the stop box" msgbox --caption="{caption}" --text="{restart_pending}" \
  --buttons=1 --icon=1 --press=1
drv close "{title}" --timeout=5 >/dev/null || true
setup_ended 20 && pass "interactive: SetUp.exe ended" || fail "interactive: SetUp.exe still runs"
timeout 30 wineserver -w
pending_machine "$TX_WORK/after-interactive.txt"
expect_same_file "interactive: nothing changed" "$TX_WORK/pending.txt" "$TX_WORK/after-interactive.txt"
touch "$C/release.flag"
for _ in $(seq 100); do grep -q '^released' "$TX_WORK/hold.out" && break; sleep 0.1; done
grep -q '^released' "$TX_WORK/hold.out" || fail "the holder did not let go"
e2e_finish
