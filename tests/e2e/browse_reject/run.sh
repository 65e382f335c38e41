#!/bin/bash
# The chooser keeps its window open for every folder it cannot accept: a
# path of bad syntax (reported invalid), a missing folder the user does not
# want created, a folder on a drive that does not exist (reported as not
# creatable). OK follows the edit box. Closing the chooser keeps the setup
# dialog's folder text.
here=$(dirname "$0")
source "$here/../common/lib.sh"
source "$here/../common/browse.sh"
e2e_begin
seed_registry "$here/seed.reg"
acad_folder "Program Files/Autodesk/AutoCAD 2010" Fonts
install_package
before=$(cd "$C" && ls -A | LC_ALL=C sort)

setup_start
browse_open 'C:\windows'
expect_drv "the chooser starts on the typed folder" expect "{browse_caption}" "$BROWSE_EDIT" 'text=C:\windows'

browse_type ''
expect_drv "an empty edit box disables OK" expect "{browse_caption}" 1 enabled=0
browse_type 'C'
expect_drv "one character enables OK again" expect "{browse_caption}" 1 enabled=1

# Bad syntax: a reserved character, no backslash after the drive, a
# trailing backslash (even on a folder that exists), a name that begins with
# a space, an empty name between two backslashes.
n=0
for bad in 'C:\bad|name' 'C:folder' 'C:\windows\' 'C:\ lead\x' 'C:\two\\x'; do
  n=$((n + 1))
  browse_type "$bad"
  browse_ok
  keep=
  [ $n -eq 1 ] && keep=keep
  expect_invalid_report "$bad" "invalid-$n" $keep
done

# A missing folder, and No to the question: nothing is made.
browse_type 'C:\Declined\Sub'
browse_ok
capture_box declined
expect_drv "the chooser offers to create C:\\Declined\\Sub" msgbox --caption="$APP_TITLE" \
  --owner="{browse_caption}" --buttons=6,7 --icon=1 \
  --text="$(folder_message 'C:\Declined\Sub' 'does not exist. Do you want the folder to be created?')" --press=7
expect_eq "the question shows the question mark" blue "$(box_icon_colour declined)"
expect_drv "No: no further message" nomsgbox --caption="$APP_TITLE" --for=2
expect_drv "No keeps the chooser open, focus in its edit" \
  expect "{browse_caption}" "$BROWSE_EDIT" 'text=C:\Declined\Sub' focused=1
expect_no_path "No creates nothing" "$C/Declined"

# A drive that does not exist: Yes, then the report that it cannot be made.
browse_type 'Q:\Nowhere\Deeper'
browse_ok
expect_drv "the chooser offers to create Q:\\Nowhere\\Deeper" msgbox --caption="$APP_TITLE" \
  --owner="{browse_caption}" --buttons=6,7 --press=6 \
  --text="$(folder_message 'Q:\Nowhere\Deeper' 'does not exist. Do you want the folder to be created?')"
capture_box cannot-create keep
expect_drv "a folder on a missing drive is reported as not creatable" msgbox --caption="$APP_TITLE" \
  --owner="{browse_caption}" --buttons=1 --icon=1 --press=1 \
  --text="$(folder_message 'Q:\Nowhere\Deeper' 'can not be created. Please double check.')"
expect_eq "the report shows the exclamation mark" orange "$(box_icon_colour cannot-create)"
expect_drv "the chooser stays open after the report, focus in its edit" \
  expect "{browse_caption}" "$BROWSE_EDIT" 'text=Q:\Nowhere\Deeper' focused=1

expect_eq "nothing was created on C:" "$before" "$(cd "$C" && ls -A | LC_ALL=C sort)"
expect_drv "the chooser's close box" close "{browse_caption}"
expect_drv "the setup dialog keeps its folder text and takes input again" \
  expect "{title}" 1000 'text=C:\windows' window enabled=1
expect_drv "no message box after closing" nomsgbox --caption="$APP_TITLE"
e2e_finish
