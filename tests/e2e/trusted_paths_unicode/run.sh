#!/bin/bash
# TRUSTEDPATHS values holding characters outside code page 936 (Latin with
# diacritics, Hangul, accented Greek, a character outside the basic plane),
# seeded through a UTF-16 registry import. After an installation, read back
# through the wide calls: every entry is still there, only in upper case,
# the folder is added where it was missing, REG_EXPAND_SZ stays
# REG_EXPAND_SZ, and values of other types are untouched.
here=$(dirname "$0")
source "$here/../common/lib.sh"
e2e_begin
seed_registry "$here/seed.reg"
acad_folder "Program Files/Autodesk/AutoCAD 2016" Fonts
install_package

setup_start
expect_initial_view 2016
expect_drv "click Install" click "{title}" 1022
expect_completion_view 1
expect_drv "no message was shown" nomsgbox

drv regdump --wide 'HKCU\SOFTWARE\Autodesk' >/dev/null
grep -v '^\(fixme\|err\|warn\):' "$DRV_OUT" >"$TX_WORK/reg-wide.txt"
expect_same_file "trusted paths read back wide" "$here/expected-wide.txt" "$TX_WORK/reg-wide.txt"

expect_drv "the completion button" click "{title}" 1
expect_drv "the dialog ends" gone "{title}"
if setup_ended 15; then pass "the program ends with its dialog"; else fail "SetUp.exe still runs"; fi
e2e_finish
