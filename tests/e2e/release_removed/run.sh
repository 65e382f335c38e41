#!/bin/bash
# AutoCAD 2016 is uninstalled after the installation (its product key and
# its folder gone, the font there before with it). The uninstall counts what
# the installation did there as gone already: it ends with 0 and gives back
# everything else, the machine as before apart from AutoCAD 2016.
here=$(dirname "$0")
source "$here/../common/lib.sh"
e2e_begin
source "$E2E_COMMON/convergence.sh"
conv_machine_setup
conv_machine "$TX_WORK/before.txt"

silent_install "installation" 0
expect_installed_in "installed" 'C:\Tarnix' 'D:\CAD'
drv regdump 'HKLM\SOFTWARE\Autodesk\AutoCAD\R20.1\ACAD-F001:804\Applications\TX_BatchPlot2016' >/dev/null
grep -q '^  LOADER=' "$DRV_OUT" && pass "AutoCAD 2016 got its demand-load key" || fail "no demand-load key for 2016"

"$E2E_WINE/import-reg.sh" "$here/remove-2016.reg" || fatal "could not remove AutoCAD 2016's key"
rm -rf "$C/Program Files/Autodesk/AutoCAD 2016"
drv regdump 'HKLM\SOFTWARE\Autodesk\AutoCAD\R20.1\ACAD-F001:804' >/dev/null
grep -qF '] absent' "$DRV_OUT" || fatal "AutoCAD 2016's product key is still there"

silent_uninstall "uninstall" 0 "C:\\Tarnix\\{subdir}\\Uninstall.exe"
for _ in $(seq 100); do [ -e "$C/Tarnix" ] || break; sleep 0.2; done
expect_no_path "the installation folder is gone" "$C/Tarnix"
# The machine as before, without AutoCAD 2016's product key and folder.
awk '/^\[/ { skip = index($0, "[HKLM\\SOFTWARE\\Autodesk\\AutoCAD\\R20.1\\ACAD-F001:804") == 1 }
     /^Program Files\/Autodesk\/AutoCAD 2016/ { next } !skip' "$TX_WORK/before.txt" >"$TX_WORK/expected.txt"
conv_machine "$TX_WORK/after.txt"
expect_same_file "the machine as before, apart from AutoCAD 2016" "$TX_WORK/expected.txt" "$TX_WORK/after.txt"
expect_eq "AutoCAD 2008's own driver is back" "their driver" \
  "$(cat "$C/Program Files (x86)/AutoCAD 2008/Drv/pdfplot9.hdi" 2>/dev/null)"
e2e_finish
