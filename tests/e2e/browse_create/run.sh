#!/bin/bash
# Browse opens the folder chooser on the folder typed into the setup dialog.
# A new folder three levels deep, typed into the chooser and confirmed, is
# created level by level and becomes the installation folder. Its middle
# name holds characters whose second byte is '\' or '|' in code page 936.
here=$(dirname "$0")
source "$here/../common/lib.sh"
source "$here/../common/browse.sh"
e2e_begin
seed_registry "$here/seed.reg"
acad_folder "Program Files/Autodesk/AutoCAD 2010" Fonts
install_package
new_level_utf8="新建淺東目录"
expect_no_path "the chosen folder does not exist yet" "$C/Browse Target"

setup_start
browse_open 'C:\windows\system32'
expect_drv "the chooser starts on the typed folder, OK enabled" \
  expect "{browse_caption}" "$BROWSE_EDIT" 'text=C:\windows\system32' 1 enabled=1
expect_drv "the setup dialog waits behind the chooser" expect "{title}" window enabled=0
expect_browser_layout
shot browser

target='C:\Browse Target\{new_level}\Third'
browse_type "$target"
expect_drv "a typed folder enables OK" expect "{browse_caption}" 1 enabled=1
browse_ok
capture_box question keep
expect_drv "the chooser asks whether to create the missing folder" \
  msgbox --caption="$APP_TITLE" --owner="{browse_caption}" --buttons=6,7 --icon=1 \
  --text="$(folder_message "$target" 'does not exist. Do you want the folder to be created?')" --press=6
expect_eq "the question shows the question mark" blue "$(box_icon_colour question)"
expect_drv "Yes closes the chooser" gone "{browse_caption}"

made="$C/Browse Target/$new_level_utf8/Third"
if [ -d "$made" ]; then pass "the three levels were created"; else fail "no folder $made"; fi
expect_eq "the middle level keeps its name whole" "$new_level_utf8" "$(ls -A "$C/Browse Target")"
expect_eq "the new folder is empty" "" "$(ls -A "$made" 2>/dev/null)"
expect_drv "the chosen folder is in the setup dialog's edit, which takes input again" \
  expect "{title}" 1000 "text=$target" window enabled=1
expect_drv "the chooser left no message box behind" nomsgbox --caption="$APP_TITLE"

# The chosen folder is where the plug-in goes.
expect_drv "click Install" click "{title}" 1022
expect_completion_view 1
expect_eq "payload below the chosen folder" "placeholder Tarnix.prt7" \
  "$(head -n1 "$made/$SUBDIR_UTF8/itextsharp.dll" 2>/dev/null)"
expect_no_path "the default folder is not used" "$C/Tarnix"
e2e_finish
