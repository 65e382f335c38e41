#!/bin/bash
# With an installation in D:\CAD, the dialog's folder text starts as D:\CAD
# (the folder chosen then, without the product's own sub-folder), the
# screenshot shows it, and closing the dialog changes nothing. SetUp.exe /S
# without /D= installs there again, not into the default C:\Tarnix, and
# raises Active Setup's version.
here=$(dirname "$0")
source "$here/../common/lib.sh"
e2e_begin
source "$E2E_COMMON/convergence.sh"
conv_machine_setup

silent_install "installation into D:\\CAD" 0 '/D=D:\CAD'
v1=$(active_setup_version)
conv_machine "$TX_WORK/installed.txt"

setup_start
expect_drv "the folder text is the installation's folder" expect "{title}" 1000 visible=1 enabled=1 'text=D:\CAD'
expect_drv "read back through WM_GETTEXT" gettext "{title}" 1000
expect_eq "the folder text" 'D:\\CAD' "$(grep -v '^\(fixme\|err\|warn\):' "$DRV_OUT" | tail -n 1)"
expect_drv "the releases of this machine ticked" expect "{title}" \
  "$(release_id 2008)" checked=1 enabled=1 "$(release_id 2016)" checked=1 "$(release_id 2019)" checked=1 \
  "$(release_id 2010)" checked=0 enabled=0
shot dialog
drv dump "{title}" >/dev/null
cp "$DRV_OUT" "$TX_WORK/dialog-dump.txt"
expect_drv "the close box ends the dialog" close "{title}"
setup_ended 20 && pass "SetUp.exe ended" || fail "SetUp.exe still runs"
timeout 30 wineserver -w
conv_machine "$TX_WORK/after-close.txt"
expect_same_file "closing the dialog changed nothing" "$TX_WORK/installed.txt" "$TX_WORK/after-close.txt"

silent_install "SetUp.exe /S without /D=" 0
expect_installed_in "again in D:\\CAD" 'D:\CAD' 'C:\Tarnix'
expect_eq "Active Setup's version raised" "${v1%,*},$((${v1##*,} + 1))" "$(active_setup_version)"
e2e_finish
