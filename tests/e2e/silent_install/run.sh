#!/bin/bash
# SetUp.exe /S on the machine of the full installation, into another folder:
# the same registry and files as the interactive run there, exit status 0,
# no visible window at any time, a log naming every file it copied, and the
# Active Setup component whose StubPath gives a user who lacks them the
# trusted path and the settings file, without touching settings the user
# has edited.
here=$(dirname "$0")
full=$here/../full_install
source "$here/../common/lib.sh"
e2e_begin
seed_registry "$full/seed.reg"
full_install_acad_folders
full_install_files


expect_drv "SetUp.exe /S runs to its end" run --timeout=150 'C:\pkg\SetUp.exe' /S '/D=C:\CAD Plug-ins'
expect_eq "exit status" 0 "$(drv_field exit)"
expect_eq "no visible window of the process at any time" 0 "$(drv_field windows)"

# The interactive run's outcome, with the other folder.
reg_snapshot "$TX_WORK/reg-after.txt"
# A profile that already trusted C:\Tarnix\... keeps that and gains the new
# folder; every other mention of the folder is the new one.
sed -e 's/^  TRUSTEDPATHS=sz:C:\\\\TARNIX\\\\TARNIX批打印软件$/&;C:\\\\CAD PLUG-INS\\\\TARNIX批打印软件/' \
  -e '/;C:\\\\CAD PLUG-INS\\\\TARNIX批打印软件$/!{s/C:\\\\Tarnix\\\\/C:\\\\CAD Plug-ins\\\\/g; s/C:\\\\TARNIX\\\\/C:\\\\CAD PLUG-INS\\\\/g}' \
  "$full/expected-registry.txt" >"$TX_WORK/expected-registry.txt"
expect_same_file "registry as after the interactive installation" \
  "$TX_WORK/expected-registry.txt" "$TX_WORK/reg-after.txt"
{
  echo "== C:"
  tree_dump "$C" "CAD Plug-ins" "Program Files (x86)/AutoCAD 2008" "Program Files/Autodesk"
  echo "== APPDATA:"
  tree_dump "$APPDATA_DIR" Tarnix
} >"$TX_WORK/files-after.txt"
sed -e '/^== APPDATA:/,$!s#^Tarnix/#CAD Plug-ins/#' "$full/expected-files.txt" >"$TX_WORK/expected-files.txt"
expect_same_file "files as after the interactive installation" \
  "$TX_WORK/expected-files.txt" "$TX_WORK/files-after.txt"

# The log, in the user's temporary folder, names every file copied.
logfile=$(setup_log)
if [ -f "$logfile" ]; then
  pass "the log is in %TEMP%"
  cp "$logfile" "$TX_WORK/TarnixSetup.log"
  missing=0
  while IFS= read -r target; do
    name=${target##*/}
    grep -q "copy .*${name}" "$logfile" || { missing=1; fail "the log does not name $name"; }
  done < <(cd "$C/CAD Plug-ins/$SUBDIR_UTF8" && find . -maxdepth 1 -type f ! -name InstallRecord.txt ! -name Uninstall.exe)
  [ "$missing" = 0 ] && pass "the log names every file copied into the installation folder"
  grep -q "Tarnix_HZ.shx" "$logfile" && pass "the log names the fonts" || fail "no font in the log"
  grep -q "exit status 0" "$logfile" && pass "the log ends with the exit status" || fail "no exit status in the log"
else
  fail "no TarnixSetup.log in %TEMP%"
fi

# Active Setup for the users who log on later.
AS='HKLM\SOFTWARE\Microsoft\Active Setup\Installed Components\TarnixBatchPlot'
drv regdump "$AS" >/dev/null
cp "$DRV_OUT" "$TX_WORK/active-setup.txt"
grep -q 'Version=sz:2023,12,18,0' "$DRV_OUT" && pass "Active Setup version" || fail "Active Setup version"
grep -q 'StubPath=[a-z_]*:.*"C:\\\\CAD Plug-ins\\\\Tarnix批打印软件\\\\Uninstall.exe" /USER' "$DRV_OUT" &&
  pass "Active Setup StubPath runs the installed copy with /USER" || fail "Active Setup StubPath"
drv regdump 'HKCU\SOFTWARE\Microsoft\Active Setup\Installed Components\TarnixBatchPlot' >/dev/null
grep -q 'Version=sz:2023,12,18,0' "$DRV_OUT" && pass "the installing user is marked done" ||
  fail "no Active Setup mark for the installing user"

# A user without the per-user parts: every TRUSTEDPATHS value and the
# settings file gone. The StubPath puts them back.
{
  echo "Windows Registry Editor Version 5.00"
  echo
  awk '/^\[HKCU.*\\Variables\]$/ { key = $0 } /^  TRUSTEDPATHS=/ && key != "" {
         sub(/^\[HKCU/, "[HKEY_CURRENT_USER", key); print key; print "\"TRUSTEDPATHS\"=-"; print ""; key = "" }' \
    "$TX_WORK/reg-after.txt"
} >"$TX_WORK/forget.reg"
"$E2E_WINE/import-reg.sh" "$TX_WORK/forget.reg" || fail "could not remove the values"
rm -f "$APPDATA_DIR/Tarnix/Tarnix.Ini"
reg_snapshot "$TX_WORK/reg-forgotten.txt"
if grep -q TRUSTEDPATHS "$TX_WORK/reg-forgotten.txt"; then fail "TRUSTEDPATHS still there"; fi

expect_drv "the StubPath runs" runvalue "$AS" StubPath --timeout=90
expect_eq "the per-user step's exit status" 0 "$(drv_field exit)"
expect_eq "no visible window of the per-user step" 0 "$(drv_field windows)"
reg_snapshot "$TX_WORK/reg-user.txt"
want=$(grep -c '^  TRUSTEDPATHS=' "$TX_WORK/reg-after.txt")
got=$(grep -c '^  TRUSTEDPATHS=sz:C:\\\\CAD Plug-ins\\\\Tarnix批打印软件$' "$TX_WORK/reg-user.txt")
expect_eq "every profile trusts the folder again" "$want" "$got"
expect_eq "the settings file is back" "placeholder Tarnix.Ini" "$(cat "$APPDATA_DIR/Tarnix/Tarnix.Ini" 2>/dev/null)"

# A user's own settings are never replaced.
printf 'edited by the user\n' >"$APPDATA_DIR/Tarnix/Tarnix.Ini"
expect_drv "the StubPath runs again" runvalue "$AS" StubPath --timeout=90
expect_eq "the edited settings file stays as edited" "edited by the user" "$(cat "$APPDATA_DIR/Tarnix/Tarnix.Ini")"
reg_snapshot "$TX_WORK/reg-user2.txt"
# Values are written back upper-cased (as every installation does), but the
# folder is not added twice.
tr 'a-z' 'A-Z' <"$TX_WORK/reg-user.txt" >"$TX_WORK/reg-user.upper"
tr 'a-z' 'A-Z' <"$TX_WORK/reg-user2.txt" >"$TX_WORK/reg-user2.upper"
expect_same_file "a second run adds no trusted path" "$TX_WORK/reg-user.upper" "$TX_WORK/reg-user2.upper"
e2e_finish
