#!/bin/bash
# An installation into C:\Tarnix moved to D:\CAD (another volume) by
# SetUp.exe /S /D=D:\CAD, then back, then uninstalled: each move leaves
# nothing of the old folder (files, backups, journal, uninstaller, the
# folders it made), the entry, the demand-load keys and Active Setup name
# the new folder, the profiles trust it and no longer the old one, the new
# journal carries the old one's lines and where it moved from, AutoCAD's
# own driver and font backups move along, and Active Setup's version goes
# up by one each time. The uninstall then gives back the machine as it was
# before the first installation: AutoCAD 2008's pdfplot9.hdi and the fonts
# there before included.
here=$(dirname "$0")
source "$here/../common/lib.sh"
e2e_begin
source "$E2E_COMMON/convergence.sh"
conv_machine_setup
conv_machine "$TX_WORK/before.txt"

silent_install "first installation" 0
expect_installed_in "in C:\\Tarnix" 'C:\Tarnix' 'D:\CAD'
v1=$(active_setup_version)
cp "$C/Tarnix/$SUBDIR_UTF8/InstallRecord.txt" "$TX_WORK/journal-1.txt"

# Cut off once it copies the payload: the new folder's journal already
# carries the old one's lines and where it moves from.
expect_drv "move cut off: started" runkill --timeout=170 '--when=D:\CAD\{subdir}\itextsharp.dll' \
  'C:\pkg\SetUp.exe' /S '/D=D:\CAD'
expect_eq "move cut off: ended by TerminateProcess" 1 "$(drv_field killed)"
timeout 30 wineserver -w
journal=$D/CAD/$SUBDIR_UTF8/InstallRecord.txt
tr -d '\r' <"$TX_WORK/journal-1.txt" | sed '1d; /^$/d' >"$TX_WORK/journal-1.lines"
missing=$(tr -d '\r' <"$journal" 2>/dev/null | grep -vxFf - "$TX_WORK/journal-1.lines" | head -n 3)
expect_eq "cut-off move: the new journal carries the old journal's lines" "" "$missing"
if tr -d '\r' <"$journal" 2>/dev/null | iconv -f GBK -t UTF-8 | grep -qxF "moved-from	C:\\Tarnix\\$SUBDIR_UTF8"; then
  pass "cut-off move: the new journal names the folder moved from"
else
  fail "cut-off move: no line 'moved-from<TAB>C:\\Tarnix\\$SUBDIR_UTF8' in the new journal"
fi
tr -d '\r' <"$journal" >"$TX_WORK/journal-cut.txt" 2>/dev/null

silent_install "move to D:\\CAD, run again" 0 '/D=D:\CAD'
expect_installed_in "moved to D:\\CAD" 'D:\CAD' 'C:\Tarnix'
v2=$(active_setup_version)
# Once by the run cut off (its keys come first), once by the one after it.
expect_eq "Active Setup's version raised by both runs of the move" "${v1%,*},$((${v1##*,} + 2))" "$v2"
expect_eq "after the move the journal names nothing of C:\\Tarnix" 0 \
  "$(tr -d '\r' <"$journal" | grep -ciF 'C:\Tarnix')"
expect_eq "the original driver stays replaced" "placeholder Tarnix.prt5" \
  "$(cat "$C/Program Files (x86)/AutoCAD 2008/Drv/pdfplot9.hdi")"

silent_install "back to C:\\Tarnix" 0 '/D=C:\Tarnix'
expect_installed_in "back in C:\\Tarnix" 'C:\Tarnix' 'D:\CAD'
v3=$(active_setup_version)
expect_eq "Active Setup's version raised again" "${v2%,*},$((${v2##*,} + 1))" "$v3"

silent_uninstall "uninstall" 0 "C:\\Tarnix\\{subdir}\\Uninstall.exe"
for _ in $(seq 100); do [ -e "$C/Tarnix" ] || break; sleep 0.2; done
conv_machine "$TX_WORK/after.txt"
expect_same_file "the machine as before the first installation" "$TX_WORK/before.txt" "$TX_WORK/after.txt"
expect_eq "AutoCAD 2008's own driver is back" "their driver" \
  "$(cat "$C/Program Files (x86)/AutoCAD 2008/Drv/pdfplot9.hdi" 2>/dev/null)"
expect_eq "AutoCAD 2008's font is back" "their 2008 font" \
  "$(cat "$C/Program Files (x86)/AutoCAD 2008/Fonts/Tarnix_HZ.shx" 2>/dev/null)"
e2e_finish
