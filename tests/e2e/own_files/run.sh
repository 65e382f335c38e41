#!/bin/bash
# What the installation keeps for itself, by other names, and a journal of
# someone else's making. A package file named as Wine shortens the journal's
# name, or as the uninstaller with a trailing dot, is refused: the silent
# reinstallation undoes itself (1603) and the installation is as it was. A
# copy of the program named Uninstall.exe beside a forged journal in the
# user's own folder does nothing (1603): under Wine every folder belongs to
# the user, as such a folder does on Windows. /LOG= naming a file that is
# there appends to it, and one that has another name (a hard link) is
# neither written nor deleted. The genuine uninstaller still removes
# everything, its cleanup copy included.
here=$(dirname "$0")
source "$here/../common/lib.sh"
e2e_begin
install_package
INSTALLED=$C/Tarnix/$SUBDIR_UTF8
FOLDER="C:\\Tarnix\\$SUBDIR_UTF8"

silent() {  # DESCRIPTION WANT-EXIT PROGRAM ARGS...
  local what=$1 want=$2
  shift 2
  expect_drv "$what: runs to its end" run --timeout=150 "$@"
  expect_eq "$what: exit status" "$want" "$(drv_field exit)"
}

silent "first installation" 0 'C:\pkg\SetUp.exe' /S
tree_dump "$C" Tarnix >"$TX_WORK/installed.txt"
cp "$INSTALLED/InstallRecord.txt" "$TX_WORK/journal.txt"

# Wine makes short names up from a hash of the long one (Windows numbers
# them: INSTAL~1.TXT); it tells the journal's for a file of that name.
mkdir -p "$C/shortname"
: >"$C/shortname/InstallRecord.txt"
(cd "$C" && timeout 60 wine winepath -s 'C:\shortname\InstallRecord.txt' </dev/null \
  >"$TX_WORK/short.txt" 2>/dev/null)
short=$(tr -d '\r\n' <"$TX_WORK/short.txt")
short=${short##*\\}
case $short in
  *~*) pass "the journal's short name: $short" ;;
  *) fatal "no short name for InstallRecord.txt: '$short'" ;;
esac

refused() {  # DESCRIPTION DATA-NAME
  printf 'forged\n' >"$C/pkg/Data/$2"
  # The build without a manifest, which would refuse the extra file first:
  # the names alone must keep it off the installation's own files.
  cp "$C/pkg/SetUp.exe" "$TX_WORK/verified.exe"
  cp "$TX_UNVERIFIED_SETUP" "$C/pkg/SetUp.exe"
  silent "$1" 1603 'C:\pkg\SetUp.exe' /S
  cp "$TX_WORK/verified.exe" "$C/pkg/SetUp.exe"
  if grep -qF "action failed: refused $FOLDER\\$2 (error 5)" "$(setup_log)"; then
    pass "$1: refused before anything is copied, and the log says so"
  else
    fail "$1: no 'action failed: refused $FOLDER\\$2 (error 5)' in the log"
  fi
  expect_same_file "$1: the journal as it was" "$TX_WORK/journal.txt" "$INSTALLED/InstallRecord.txt"
  tree_dump "$C" Tarnix >"$TX_WORK/now.txt"
  expect_same_file "$1: the installation as it was" "$TX_WORK/installed.txt" "$TX_WORK/now.txt"
  rm -f "$C/pkg/Data/$2"
}
refused "a package file named as the journal's short name" "$short"
refused "a package file named as the uninstaller with a trailing dot" "Uninstall.exe."

# The program copied as Uninstall.exe into the user's Downloads, beside a
# journal that names a support file it may remove.
USER_DIR=$C/users/$(whoami)/Downloads/Tarnix
USER_WIN="C:\\users\\$(whoami)\\Downloads\\Tarnix"
FONT="$C/Program Files/Autodesk/AutoCAD 2019/Fonts/Tarnix_EN.shx"
mkdir -p "$USER_DIR" "$(dirname "$FONT")"
printf 'their font\n' >"$FONT"
cp "$C/pkg/SetUp.exe" "$USER_DIR/Uninstall.exe"
printf 'TARNIX-INSTALL-RECORD\t2\ninstallation\t%s\nfile-new\t%s\n' "$USER_WIN" \
  'C:\Program Files\Autodesk\AutoCAD 2019\Fonts\Tarnix_EN.shx' >"$USER_DIR/InstallRecord.txt"
silent "a copy beside a forged journal" 1603 "$USER_WIN\\Uninstall.exe" /S
expect_eq "the file it names stays" "their font" "$(cat "$FONT" 2>/dev/null)"
expect_file "the forged journal stays" "$USER_DIR/InstallRecord.txt"
expect_file "the copy stays" "$USER_DIR/Uninstall.exe"
if grep -q "journal not trusted" "$(find "$C/users" -path '*/Temp/TarnixUninstall.log' | head -n 1)" 2>/dev/null; then
  pass "the log says why"
else
  fail "no 'journal not trusted' in TarnixUninstall.log"
fi

# /LOG= onto files that are there.
mkdir -p "$C/logs"
printf 'earlier lines\n' >"$C/logs/setup.log"
printf 'only administrators may change this\n' >"$C/logs/victim.txt"
ln "$C/logs/victim.txt" "$C/logs/linked.log"
silent "/LOG= naming an existing log" 0 'C:\pkg\SetUp.exe' /S '/LOG=C:\logs\setup.log'
expect_eq "the existing log is kept and added to" "earlier lines" "$(head -n 1 "$C/logs/setup.log")"
grep -q "exit status 0" "$C/logs/setup.log" && pass "the run's lines follow it" ||
  fail "no run lines in setup.log"
silent "/LOG= naming a hard link" 0 'C:\pkg\SetUp.exe' /S '/LOG=C:\logs\linked.log'
expect_eq "the linked file is not written" "only administrators may change this" \
  "$(cat "$C/logs/victim.txt")"
expect_file "nor is the link deleted" "$C/logs/linked.log"

silent "the genuine uninstaller" 0 'C:\Tarnix\{subdir}\Uninstall.exe' /S
for _ in $(seq 200); do
  [ -e "$C/Tarnix" ] || break
  sleep 0.1
done
expect_no_path "its cleanup copy removed it and its folders" "$C/Tarnix"
e2e_finish
