#!/bin/bash
# Another process holds SetUp.exe with delete access, as one does that means
# to rename the running program away and put its own in its place (which
# would then be copied as Uninstall.exe). The installer, elevated under
# Wine, cannot hold its own file and stops before changing anything:
# /S ends with 1603 and no window; with its window it shows the stop
# message (caption, one OK button, a stop icon) and ends with 1603. Once
# the other process lets go, the same package installs, and Uninstall.exe
# is byte for byte the program that ran.
here=$(dirname "$0")
full=$here/../full_install
source "$here/../common/lib.sh"
e2e_begin
seed_registry "$full/seed.reg"
full_install_acad_folders
full_install_files
reg_snapshot_all "$TX_WORK/reg-before.txt"
full_install_tree "$TX_WORK/files-before.txt"

(exec timeout 170 wine "$TX_DRIVER" hold 'C:\pkg\SetUp.exe' --delete --until='C:\release.flag' \
  >"$TX_WORK/hold.out" 2>&1 </dev/null) &
HELPER_PIDS+=($!)
for _ in $(seq 300); do grep -q '^held' "$TX_WORK/hold.out" 2>/dev/null && break; sleep 0.1; done
grep -q '^held' "$TX_WORK/hold.out" || fatal "could not hold SetUp.exe: $(cat "$TX_WORK/hold.out")"

unchanged() {  # DESCRIPTION
  reg_snapshot_all "$TX_WORK/reg-now.txt"
  expect_same_file "$1: registry as before" "$TX_WORK/reg-before.txt" "$TX_WORK/reg-now.txt"
  full_install_tree "$TX_WORK/files-now.txt"
  expect_same_file "$1: files as before" "$TX_WORK/files-before.txt" "$TX_WORK/files-now.txt"
  expect_no_path "$1: no installation folder" "$C/Tarnix"
}

expect_drv "SetUp.exe /S runs to its end" run --timeout=150 'C:\pkg\SetUp.exe' /S
expect_eq "/S: exit status" 1603 "$(drv_field exit)"
expect_eq "/S: no visible window" 0 "$(drv_field windows)"
unchanged "/S"
logfile=$(setup_log)
if [ -f "$logfile" ] && grep -q "program file: not held" "$logfile" &&
   grep -q "own file cannot be held" "$logfile"; then
  pass "the log says the program's file could not be held"
else
  fail "the log does not say the program's file could not be held"
fi

(cd "$C" && exec timeout 120 wine 'C:\pkg\SetUp.exe' >"$TX_WORK/setup.log" 2>&1 </dev/null) &
SETUP_PID=$!
expect_drv "the stop message: caption, text, one OK button, a stop icon" \
  msgbox --caption="{caption}" --text="{image_not_held}" --buttons=1 --icon=1 --timeout=60
shot stopped
if drv wait "{title}" --timeout=1; then fail "the setup dialog is shown"; else pass "no setup dialog"; fi
expect_drv "OK" msgbox --press=1
status=
for _ in $(seq 300); do
  if ! kill -0 "$SETUP_PID" 2>/dev/null; then
    wait "$SETUP_PID"
    status=$?
    SETUP_PID=
    break
  fi
  sleep 0.1
done
# A Linux shell sees the low byte: 1603 is 67.
expect_eq "with its window: exit status after OK" 67 "$status"
unchanged "with its window"

# Let go: the same package installs, and its uninstaller is the program.
touch "$C/release.flag"
for _ in $(seq 100); do grep -q '^released' "$TX_WORK/hold.out" && break; sleep 0.1; done
expect_drv "SetUp.exe /S once the file is free" run --timeout=150 'C:\pkg\SetUp.exe' /S
expect_eq "exit status once free" 0 "$(drv_field exit)"
if cmp -s "$C/pkg/SetUp.exe" "$C/Tarnix/$SUBDIR_UTF8/Uninstall.exe"; then
  pass "Uninstall.exe is the program that ran, byte for byte"
else
  fail "Uninstall.exe differs from SetUp.exe"
fi
logfile=$(setup_log)
grep -q "program file held: " "$logfile" 2>/dev/null && pass "the log says the file was held" ||
  fail "the log does not say the file was held"
e2e_finish
