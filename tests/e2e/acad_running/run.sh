#!/bin/bash
# AutoCAD running: the first click on Install only says "close AutoCAD" and
# changes nothing; the second click installs although AutoCAD still runs.
here=$(dirname "$0")
source "$here/../common/lib.sh"
e2e_begin
seed_registry "$here/seed.reg"
acad_folder "Program Files/Autodesk/AutoCAD 2016" Fonts
install_package
start_fake_acad
reg_snapshot "$TX_WORK/reg-before.txt"

setup_start
expect_initial_view 2016

expect_drv "click Install while acad.exe runs" click "{title}" 1022
expect_drv "the refusal: text, caption, one OK button, no icon, owned by the dialog" \
  msgbox --caption="{caption}" --text="{acad_running}" --buttons=1 --icon=0 --owner="{title}"
shot refusal
expect_drv "OK" msgbox --press=1
expect_initial_view 2016
reg_snapshot "$TX_WORK/reg-refused.txt"
expect_same_file "registry untouched after the refusal" "$TX_WORK/reg-before.txt" "$TX_WORK/reg-refused.txt"
expect_no_path "no installation folder after the refusal" "$C/Tarnix"
expect_no_path "no settings folder after the refusal" "$APPDATA_DIR/Tarnix"

if kill -0 "${HELPER_PIDS[0]}" 2>/dev/null; then pass "acad.exe still runs"; else fail "acad.exe ended early"; fi
expect_drv "click Install again" click "{title}" 1022
expect_completion_view 1
expect_drv "no second refusal" nomsgbox

reg_snapshot "$TX_WORK/reg-after.txt"
expect_same_file "registry after the installation" "$here/expected-registry.txt" "$TX_WORK/reg-after.txt"
expect_file "payload installed" "$C/Tarnix/$SUBDIR_UTF8/itextsharp.dll"
expect_file "fonts installed" "$C/Program Files/Autodesk/AutoCAD 2016/Fonts/Tarnix_HZ.shx"
expect_file "settings installed" "$APPDATA_DIR/Tarnix/Tarnix.Ini"
e2e_finish
