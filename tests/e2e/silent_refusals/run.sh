#!/bin/bash
# SetUp.exe /S where it must not install, or only part of the machine:
# /RELEASES=2019 ticks only 2019; acad.exe running gives 1618 and changes
# nothing; no Data folder gives 1603; a bad switch gives 1639; none of them
# shows a window.
here=$(dirname "$0")
source "$here/../common/lib.sh"
e2e_begin
seed_registry "$here/../full_install/seed.reg"
acad_folder "Program Files (x86)/AutoCAD 2008" Fonts Drv
acad_folder "Program Files/Autodesk/AutoCAD 2016" Fonts Drv
acad_folder "Program Files/Autodesk/AutoCAD 2019" Fonts
acad_folder "Program Files/Autodesk/AutoCAD 2020" Fonts
install_package
silent() {  # DESCRIPTION WANT-EXIT ARGS...
  local what=$1 want=$2
  shift 2
  expect_drv "$what: runs to its end" run --timeout=150 'C:\pkg\SetUp.exe' "$@"
  expect_eq "$what: exit status" "$want" "$(drv_field exit)"
  expect_eq "$what: no visible window" 0 "$(drv_field windows)"
}
reg_snapshot "$TX_WORK/reg-before.txt"
unchanged() {  # DESCRIPTION
  reg_snapshot "$TX_WORK/reg-now.txt"
  expect_same_file "$1: registry unchanged" "$TX_WORK/reg-before.txt" "$TX_WORK/reg-now.txt"
  expect_no_path "$1: no installation folder" "$C/Tarnix"
}

silent "a bad switch" 1639 /S /QN
unchanged "a bad switch"
silent "a year outside 2007-2024" 1639 /S /RELEASES=2025
unchanged "a bad year"
silent "a relative folder" 1639 /S /D=Tarnix
unchanged "a relative folder"
log_now=$(setup_log)
grep -q "refused" "$log_now" 2>/dev/null && pass "the log says the folder was refused" ||
  fail "the log does not say the folder was refused"

start_fake_acad
sleep 2
silent "AutoCAD running" 1618 /S
unchanged "AutoCAD running"
kill "${HELPER_PIDS[0]}" 2>/dev/null
wait "${HELPER_PIDS[0]}" 2>/dev/null
HELPER_PIDS=()

mv "$C/pkg/Data" "$C/pkg/Data.away"
silent "no Data folder" 1603 /S
reg_snapshot "$TX_WORK/reg-now.txt"
expect_same_file "no Data folder: registry unchanged" "$TX_WORK/reg-before.txt" "$TX_WORK/reg-now.txt"
mv "$C/pkg/Data.away" "$C/pkg/Data"

silent "only 2019" 0 /S /RELEASES=2019 /LOG=C:\\only2019.log
reg_snapshot "$TX_WORK/reg-2019.txt"
# The seed holds an older entry for 2016; only 2019's is new.
new=$(diff <(grep -o 'Applications\\TX_BatchPlot[0-9]*\]' "$TX_WORK/reg-before.txt" | sort -u) \
  <(grep -o 'Applications\\TX_BatchPlot[0-9]*\]' "$TX_WORK/reg-2019.txt" | sort -u) | sed -n 's/^> //p' | tr '\n' ' ')
expect_eq "only 2019 gets a demand-load entry" 'Applications\TX_BatchPlot2019] ' "$new"
grep -q 'Tarnix批打印软件\\\\TX_BatchPlot2015\.ARX' "$TX_WORK/reg-2019.txt" &&
  fail "2016's entry was rewritten" || pass "2016's older entry is left alone"
expect_file "fonts for 2019" "$C/Program Files/Autodesk/AutoCAD 2019/Fonts/Tarnix_HZ.shx"
expect_no_path "no fonts for 2016" "$C/Program Files/Autodesk/AutoCAD 2016/Fonts/Tarnix_HZ.shx"
expect_file "the log where /LOG= says" "$C/only2019.log"
e2e_finish
