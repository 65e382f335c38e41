#!/bin/bash
# Folders that exist are accepted without a question, as typed (a lower-case
# drive letter, a drive root). The next Browse starts on the folder accepted
# before. Cancel keeps the setup dialog's folder text, whatever the chooser's
# edit box holds.
here=$(dirname "$0")
source "$here/../common/lib.sh"
source "$here/../common/browse.sh"
e2e_begin
seed_registry "$here/seed.reg"
acad_folder "Program Files/Autodesk/AutoCAD 2010" Fonts
install_package

setup_start
browse_open 'C:\windows\system32'
browse_type 'c:\users'
browse_ok
expect_drv "an existing folder is accepted without a question" nomsgbox --caption="$APP_TITLE" --for=2
expect_drv "the chooser closes" gone "{browse_caption}"
expect_drv "the setup dialog shows the folder as typed" expect "{title}" 1000 'text=c:\users'

# Browse again: the chooser starts on the accepted folder; Cancel keeps it.
drv click "{title}" 1015 >/dev/null
drv wait "{browse_caption}" --class=#32770 --timeout=20 || fatal "Browse did not open the chooser again"
expect_drv "the chooser starts on the folder accepted before" \
  expect "{browse_caption}" "$BROWSE_EDIT" 'text=C:\users'
browse_type 'C:\windows'
expect_drv "Cancel" click "{browse_caption}" 2
expect_drv "Cancel closes the chooser" gone "{browse_caption}"
expect_drv "no message box on Cancel" nomsgbox --caption="$APP_TITLE"
expect_drv "Cancel keeps the setup dialog's folder text" expect "{title}" 1000 'text=c:\users' window enabled=1

# A drive root that exists.
browse_open 'C:\windows'
browse_type 'C:\'
browse_ok
expect_drv "a drive root is accepted without a question" nomsgbox --caption="$APP_TITLE" --for=2
expect_drv "the chooser closes on the drive root" gone "{browse_caption}"
expect_drv "the setup dialog shows the drive root" expect "{title}" 1000 'text=C:\'

expect_drv "the close box ends the dialog" close "{title}"
if setup_ended 15; then pass "the program ends with its dialog"; else fail "SetUp.exe still runs"; fi
expect_no_path "no installation folder" "$C/Tarnix"
e2e_finish
