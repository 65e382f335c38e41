#!/bin/bash
# Install, install again, uninstall: the machine is as it was, apart from the
# user's settings file and the demand-load entry an earlier installation had
# left (both are the installation's to replace). Several releases, a font
# and AutoCAD 2008's pdfplot9.hdi there before. Interactive uninstall first
# (No changes nothing, then Yes), then an installation and the silent
# uninstall from the entry's QuietUninstallString; and while acad.exe runs,
# both ways, nothing changes.
here=$(dirname "$0")
source "$here/../common/lib.sh"
e2e_begin
seed_registry "$here/seed.reg"
full_install_acad_folders
printf 'their driver\n' >"$C/Program Files (x86)/AutoCAD 2008/Drv/pdfplot9.hdi"
printf 'their font\n' >"$C/Program Files/Autodesk/AutoCAD 2016/Fonts/Tarnix_EN.shx"
install_package

ENTRY='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\TarnixBatchPlot'
UNINSTALLER='C:\Tarnix\Tarnix批打印软件\Uninstall.exe'
# Windows exit codes arrive at Linux as their low byte.
code() { echo $(($1 % 256)); }

# The machine as the comparisons see it: registry and files, without what
# is allowed to differ.
machine() {  # FILE
  reg_snapshot "$TX_WORK/m.reg"
  {
    # the key with its values
    awk '/^\[/ { skip = index($0, "TX_BatchPlot2016") > 0 } !skip' "$TX_WORK/m.reg"
    drv regdump "$ENTRY" >/dev/null
    grep -v '^\(fixme\|err\|warn\):' "$DRV_OUT"
    echo "== C:"
    tree_dump "$C" Tarnix "Program Files (x86)/AutoCAD 2008" "Program Files/Autodesk"
  } >"$1"
}

install_once() {  # LABEL
  setup_start
  expect_drv "$1: click Install" click "{title}" 1022
  expect_completion_view 1
  # A driver run now and then fails to start while Wine's server comes up
  # afresh (it does between the runs here); once more is enough.
  if drv click "{title}" 1 || { sleep 2 && drv click "{title}" 1; }; then
    pass "$1: the completion button"
  else
    fail "$1: the completion button"
  fi
  if setup_ended 20; then pass "$1: SetUp.exe ended"; else fail "$1: SetUp.exe still runs"; fi
}

# Starts the uninstaller in the background; uninstall_status waits for it.
uninstall_start() {  # ARGS...
  (cd "$C" && exec timeout 120 wine "$UNINSTALLER" "$@" >>"$TX_WORK/uninstall.log" 2>&1) &
  UN_PID=$!
}
uninstall_status() {  # sets UN_STATUS (not in a subshell: the job is this shell's)
  wait "$UN_PID"
  UN_STATUS=$?
}
gone_within() {  # UNIX-PATH SECONDS
  local _
  for _ in $(seq $(($2 * 10))); do
    [ -e "$1" ] || return 0
    sleep 0.1
  done
  return 1
}

machine "$TX_WORK/before.txt"

install_once "first installation"
drv regdump "$ENTRY" >/dev/null
cp "$DRV_OUT" "$TX_WORK/entry.txt"
for want in 'DisplayName=sz:Tarnix批打印软件' 'DisplayVersion=sz:2023.12.18' 'Publisher=sz:Tarnix' \
  'InstallLocation=sz:C:\\Tarnix\\Tarnix批打印软件' \
  'DisplayIcon=sz:C:\\Tarnix\\Tarnix批打印软件\\Uninstall.exe' \
  'UninstallString=sz:"C:\\Tarnix\\Tarnix批打印软件\\Uninstall.exe"' \
  'QuietUninstallString=sz:"C:\\Tarnix\\Tarnix批打印软件\\Uninstall.exe" /S' \
  'NoModify=dword:1' 'NoRepair=dword:1'; do
  if grep -qF "  $want" "$TX_WORK/entry.txt"; then pass "entry: $want"; else fail "entry lacks $want"; fi
done
if grep -q '^  InstallDate=sz:20[0-9]\{6\}$' "$TX_WORK/entry.txt"; then pass "entry: InstallDate"; else fail "entry: InstallDate"; fi
if grep -q '^  EstimatedSize=dword:[1-9]' "$TX_WORK/entry.txt"; then pass "entry: EstimatedSize"; else fail "entry: EstimatedSize"; fi
expect_file "the uninstaller" "$C/Tarnix/$SUBDIR_UTF8/Uninstall.exe"
expect_file "the install record" "$C/Tarnix/$SUBDIR_UTF8/InstallRecord.txt"
expect_eq "the driver's backup" "their driver" \
  "$(cat "$C/Tarnix/$SUBDIR_UTF8/Backup/"*-pdfplot9.hdi 2>/dev/null)"

install_once "second installation"
machine "$TX_WORK/installed.txt"
expect_eq "still one backup of each replaced file" 2 "$(ls "$C/Tarnix/$SUBDIR_UTF8/Backup" | wc -l)"

# No changes nothing.
uninstall_start
expect_drv "the question" msgbox --caption="{un_caption}" --text="{un_confirm}" --buttons=6,7 --icon=1 --press=7
uninstall_status
expect_eq "No: 1602" "$(code 1602)" "$UN_STATUS"
machine "$TX_WORK/after-no.txt"
expect_same_file "No: nothing changed" "$TX_WORK/installed.txt" "$TX_WORK/after-no.txt"

# Yes: everything goes.
uninstall_start
expect_drv "Yes" msgbox --caption="{un_caption}" --text="{un_confirm}" --press=6
expect_drv "the done box" msgbox --caption="{un_caption}" --text="{un_done}" --buttons=1 --icon=0 --press=1
uninstall_status
expect_eq "uninstalled: 0" 0 "$UN_STATUS"
if gone_within "$C/Tarnix" 20; then pass "the uninstaller and its folders went after it ended"; else fail "left: $(find "$C/Tarnix")"; fi
machine "$TX_WORK/after-uninstall.txt"
expect_same_file "the machine as before the first installation" "$TX_WORK/before.txt" "$TX_WORK/after-uninstall.txt"
expect_file "the user's settings file stays" "$APPDATA_DIR/Tarnix/Tarnix.Ini"

# Again, uninstalled silently by the entry's QuietUninstallString.
install_once "third installation"
drv regdump "$ENTRY" >/dev/null
quiet=$(sed -n 's/^  QuietUninstallString=sz://p' "$DRV_OUT" | sed 's/\\\\/\\/g')
expect_eq "QuietUninstallString" "\"$UNINSTALLER\" /S" "$quiet"
eval "set -- $quiet"  # the program and its switch, as a shell would split them
(cd "$C" && timeout 120 wine "$1" "$2" >>"$TX_WORK/uninstall.log" 2>&1)
expect_eq "silent uninstall: 0" 0 "$?"
if gone_within "$C/Tarnix" 20; then pass "silent: folders gone"; else fail "silent: left $(find "$C/Tarnix")"; fi
machine "$TX_WORK/after-silent.txt"
expect_same_file "silent: the machine as before" "$TX_WORK/before.txt" "$TX_WORK/after-silent.txt"
# While acad.exe runs: silent ends at once, interactive offers Retry/Cancel.
install_once "fourth installation"
machine "$TX_WORK/installed.txt"
start_fake_acad
sleep 3
uninstall_start /S
uninstall_status
expect_eq "silent while AutoCAD runs: 1618" "$(code 1618)" "$UN_STATUS"
uninstall_start
expect_drv "the close-AutoCAD box" msgbox --caption="{un_caption}" --text="{un_acad}" --buttons=2,4 --icon=1
expect_drv "Retry: asked again" msgbox --caption="{un_caption}" --text="{un_acad}" --press=4
expect_drv "Cancel" msgbox --caption="{un_caption}" --text="{un_acad}" --press=2
uninstall_status
expect_eq "Cancel: 1602" "$(code 1602)" "$UN_STATUS"
machine "$TX_WORK/after-acad.txt"
expect_same_file "AutoCAD running: nothing changed" "$TX_WORK/installed.txt" "$TX_WORK/after-acad.txt"
e2e_finish
