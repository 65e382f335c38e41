#!/bin/bash
# Uninstall.exe /S ended by TerminateProcess halfway through removing a
# payload of many files, then run again: it ends with 0 and the machine is
# as before the installation. A profile that trusted the installation folder
# before the installation still trusts it at the end: the run after the cut
# must not take the entry for one the installation added.
here=$(dirname "$0")
source "$here/../common/lib.sh"
e2e_begin
source "$E2E_COMMON/convergence.sh"
conv_machine_setup
seed_registry "$here/trusting.reg"
# Many files, so that removing them takes a while.
for i in $(seq -w 1 1500); do printf 'placeholder Many%s.txt\n' "$i" >"$C/pkg/Data/Many$i.txt"; done
# A Data folder the package's manifest does not list: the build without one.
cp "$TX_UNVERIFIED_SETUP" "$C/pkg/SetUp.exe"
conv_machine "$TX_WORK/before.txt"
dir=$C/Tarnix/$SUBDIR_UTF8
PROFILE='HKCU\SOFTWARE\Autodesk\AutoCAD\R23.0\ACAD-2001:804\Profiles\<<Unnamed Profile>>\Variables'
trusts_folder() {
  reg_value "$PROFILE" TRUSTEDPATHS | tr ';' '\n' | grep -cixF "$(dumped "C:\\Tarnix\\$SUBDIR_UTF8")"
}

silent_install "installation" 0
expect_eq "the many files are installed" 1500 "$(find "$dir" -maxdepth 1 -name 'Many*.txt' | wc -l)"
expect_eq "the profile trusts the folder once" 1 "$(trusts_folder)"

expect_drv "Uninstall.exe /S started" runkill --timeout=170 '--when=C:\Tarnix\{subdir}\Many0750.txt' --gone \
  "C:\\Tarnix\\{subdir}\\Uninstall.exe" /S
expect_eq "ended by TerminateProcess" 1 "$(drv_field killed)"
timeout 30 wineserver -w
left=$(find "$dir" -maxdepth 1 -name 'Many*.txt' 2>/dev/null | wc -l)
[ "$left" -gt 0 ] || fatal "no payload file was left: the cut came too late"
log "cut off with $left of 1500 payload files left"
expect_eq "cut off: the profile still trusts the folder" 1 "$(trusts_folder)"

uninstaller="C:\\Tarnix\\{subdir}\\Uninstall.exe"
[ -f "$dir/Uninstall.exe" ] || fatal "the cut-off uninstall left no uninstaller to run again"
silent_uninstall "uninstall run again" 0 "$uninstaller"
for _ in $(seq 100); do [ -e "$C/Tarnix" ] || break; sleep 0.2; done
expect_eq "at the end the profile still trusts the folder" 1 "$(trusts_folder)"
conv_machine "$TX_WORK/after.txt"
expect_same_file "the machine as before the installation" "$TX_WORK/before.txt" "$TX_WORK/after.txt"
e2e_finish
