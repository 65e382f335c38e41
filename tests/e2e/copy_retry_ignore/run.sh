#!/bin/bash
# Two copies fail: itextsharp.dll is held open without sharing by another
# process, and a folder stands where PdfSharp.Charting.dll must go. Retry
# after the file is let go copies it; Ignore skips the other. The
# installation then completes: registry written, everything else deployed.
here=$(dirname "$0")
source "$here/../common/lib.sh"
e2e_begin
seed_registry "$here/seed.reg"
acad_folder "Program Files/Autodesk/AutoCAD 2016" Fonts
install_package
install_dir="Tarnix/$SUBDIR_UTF8"
mkdir -p "$C/$install_dir/PdfSharp.Charting.dll"
# The questions below come in listing order.
listing=$(data_listing 'C:\pkg\Data' | tr '\n' ' ')
[[ $listing == *"Tarnix.prt7 "*"Tarnix.prt8 "* ]] || fatal "unexpected listing order: $listing"
(exec timeout 170 wine "$TX_DRIVER" hold 'C:\Tarnix\{subdir}\itextsharp.dll' --until='C:\release.flag' \
  --timeout=160 >"$TX_WORK/hold.out" 2>&1) &
HELPER_PIDS+=($!)
for _ in $(seq 100); do grep -q '^held' "$TX_WORK/hold.out" 2>/dev/null && break; sleep 0.1; done
grep -q '^held' "$TX_WORK/hold.out" || fatal "could not hold itextsharp.dll: $(cat "$TX_WORK/hold.out")"

setup_start
expect_initial_view 2016
expect_drv "click Install" click "{title}" 1022
held_text='{copy_fail_head}C:\Tarnix\{subdir}\itextsharp.dll{copy_fail_tail}'
expect_drv "the copy of the held file fails" msgbox --text="$held_text" --buttons=3,4,5 --icon=0
shot installing
touch "$C/release.flag"
for _ in $(seq 100); do grep -q '^released' "$TX_WORK/hold.out" && break; sleep 0.1; done
grep -q '^released' "$TX_WORK/hold.out" || fail "the holder did not let go"
expect_drv "Retry once the file is free" msgbox --text="$held_text" --press=4
dir_text='{copy_fail_head}C:\Tarnix\{subdir}\PdfSharp.Charting.dll{copy_fail_tail}'
expect_drv "the copy onto the folder fails; Ignore" msgbox --text="$dir_text" --buttons=3,4,5 --press=5
expect_completion_view 1
expect_drv "no further message" nomsgbox

expect_eq "itextsharp.dll copied on Retry" "placeholder Tarnix.prt7" "$(head -n1 "$C/$install_dir/itextsharp.dll" 2>/dev/null)"
if [ -d "$C/$install_dir/PdfSharp.Charting.dll" ]; then pass "the ignored target is left as it was"; else fail "the ignored target changed"; fi
expect_eq "PdfSharp.dll copied" "placeholder Tarnix.prt9" "$(head -n1 "$C/$install_dir/PdfSharp.dll" 2>/dev/null)"
expect_file "settings copied" "$APPDATA_DIR/Tarnix/Tarnix.Ini"
expect_file "fonts copied" "$C/Program Files/Autodesk/AutoCAD 2016/Fonts/Tarnix_EN.shx"
reg_snapshot "$TX_WORK/reg-after.txt"
expect_same_file "registry after the installation" "$here/../acad_running/expected-registry.txt" "$TX_WORK/reg-after.txt"
e2e_finish
