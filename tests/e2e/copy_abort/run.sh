#!/bin/bash
# A copy that fails (a folder stands where PdfSharp.dll must go) answered
# first with Retry, which fails again, then with Abort: the dialog and the
# program end, and the run is undone: the files copied before the failure
# are gone again, nothing after is copied and the registry is untouched.
here=$(dirname "$0")
source "$here/../common/lib.sh"
e2e_begin
seed_registry "$here/seed.reg"
acad_folder "Program Files/Autodesk/AutoCAD 2016" Fonts
install_package
install_dir="Tarnix/$SUBDIR_UTF8"
mkdir -p "$C/$install_dir/PdfSharp.dll"
reg_snapshot "$TX_WORK/reg-before.txt"
mapfile -t entries < <(data_listing 'C:\pkg\Data')
failing=-1
for i in "${!entries[@]}"; do [ "${entries[$i]}" == Tarnix.prt9 ] && failing=$i; done
[ $failing -ge 0 ] || fatal "Tarnix.prt9 not in the Data listing"

setup_start
expect_initial_view 2016
shot initial
expect_drv "click Install" click "{title}" 1022
fail_text='{copy_fail_head}C:\Tarnix\{subdir}\PdfSharp.dll{copy_fail_tail}'
expect_drv "the copy failure: text with the target, Abort/Retry/Ignore, no icon" \
  msgbox --text="$fail_text" --buttons=3,4,5 --icon=0 --owner="{title}"
# The bar is stepped once per listing entry up to the failing one.
expect_installing_view $((failing + 1))
shot installing
expect_drv "Retry while the copy still fails" msgbox --text="$fail_text" --press=4
expect_drv "the same question again" msgbox --text="$fail_text" --buttons=3,4,5 --press=3
expect_drv "Abort ends the dialog" gone "{title}"
if setup_ended 15; then pass "the program ends with its dialog"; else fail "SetUp.exe still runs"; fi

reg_snapshot "$TX_WORK/reg-after.txt"
expect_same_file "registry untouched" "$TX_WORK/reg-before.txt" "$TX_WORK/reg-after.txt"
for i in "${!entries[@]}"; do
  name=${entries[$i]}
  target=$(payload_target "$name" "$install_dir")
  [ -n "$target" ] || continue
  [ $i -eq $failing ] && continue
  if [ $i -lt $failing ]; then
    expect_no_path "$name, copied before the failure, taken back" "$target"
  else
    expect_no_path "$name, listed after the failure, not copied" "$target"
  fi
done
expect_no_path "no journal left" "$C/$install_dir/InstallRecord.txt"
expect_no_path "no backups left" "$C/$install_dir/Backup"
if [ -d "$C/$install_dir/PdfSharp.dll" ]; then pass "the blocking folder is left"; else fail "the blocking folder is gone"; fi
expect_no_path "no fonts" "$C/Program Files/Autodesk/AutoCAD 2016/Fonts/Tarnix_EN.shx"
e2e_finish
