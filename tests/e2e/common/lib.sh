# shellcheck shell=bash
# Shared steps of the end-to-end scenarios (sourced by each scenario's run.sh).
#
# Given by CTest: TX_DRIVER (txdrive.exe), TX_PACKAGE_DIR (SetUp.exe beside its
# Data folder; it carries the manifest of that folder and installs no other),
# TX_UNVERIFIED_SETUP (SetUp.exe as linked, without a manifest, as a
# developer builds it), TX_BASE_PREFIX (a ready Wine prefix, copied per scenario),
# TX_SHOTS_DIR (where screenshots go), TX_WORK (this scenario's scratch
# folder), TX_SCENARIO (its name). TX_E2E_KEEP=1 keeps the prefix copy.
#
# A scenario calls e2e_begin, seeds the registry and the disk, starts
# SetUp.exe, drives it with drv, checks with the expect_* helpers and ends
# with e2e_finish, whose exit code is the test's result.

set -uo pipefail
: "${TX_DRIVER:?}" "${TX_PACKAGE_DIR:?}" "${TX_UNVERIFIED_SETUP:?}" "${TX_BASE_PREFIX:?}" "${TX_SHOTS_DIR:?}"
: "${TX_WORK:?}" "${TX_SCENARIO:?}"

E2E_COMMON=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
E2E_WINE=$(cd "$E2E_COMMON/../../wine" && pwd)
source "$E2E_WINE/wine-env.sh" 2>/dev/null
source "$E2E_WINE/xvfb.sh"

FAILS=0
CHECKS=0
DRV_N=0
SETUP_PID=
HELPER_PIDS=()

# The product's folder name, as UTF-8 for the checks made from Linux (the
# driver compares the code page 936 bytes). Used by the scenarios.
export SUBDIR_UTF8="Tarnix批打印软件"
REG_ROOTS=('HKLM\SOFTWARE\Autodesk' 'HKLM\SOFTWARE\Wow6432Node\Autodesk' 'HKCU\SOFTWARE\Autodesk')

log() { echo "[$TX_SCENARIO] $*"; }

e2e_begin() {
  rm -rf "$TX_WORK"
  mkdir -p "$TX_WORK" "$TX_SHOTS_DIR"
  if [ ! -f "$TX_PACKAGE_DIR/SetUp.exe" ]; then
    log "FAIL: no SetUp.exe in $TX_PACKAGE_DIR (build the package first)"
    exit 1
  fi
  export WINEPREFIX=$TX_WORK/prefix
  cp -a "$TX_BASE_PREFIX" "$WINEPREFIX"
  C=$WINEPREFIX/drive_c
  APPDATA_DIR=$C/users/$(whoami)/AppData/Roaming
  trap e2e_cleanup EXIT
  xvfb_start "$TX_WORK" || { log "FAIL: no X display"; exit 1; }
  log "prefix $WINEPREFIX, display $DISPLAY"
}

e2e_cleanup() {
  timeout 30 wineserver -k 2>/dev/null || true
  local p
  for p in "${HELPER_PIDS[@]}" ${SETUP_PID:+"$SETUP_PID"}; do
    kill "$p" 2>/dev/null || true
    wait "$p" 2>/dev/null || true
  done
  xvfb_stop
  if [ "${TX_E2E_KEEP:-0}" != 1 ]; then
    rm -rf "$WINEPREFIX"
  fi
}

e2e_finish() {
  log "$CHECKS checks, $FAILS failed"
  [ "$FAILS" -eq 0 ] && exit 0 || exit 1
}

# ---- checks -----------------------------------------------------------------

pass() { CHECKS=$((CHECKS + 1)); log "ok: $*"; }
fail() { CHECKS=$((CHECKS + 1)); FAILS=$((FAILS + 1)); log "FAIL: $*"; }

# Ends the scenario at once: later steps make no sense without this one.
fatal() {
  FAILS=$((FAILS + 1))
  log "FAIL (stopping): $*"
  e2e_finish
}

expect_eq() {  # DESCRIPTION WANT GOT
  if [ "$2" == "$3" ]; then pass "$1"; else fail "$1: want [$2], got [$3]"; fi
}

expect_same_file() {  # DESCRIPTION EXPECTED ACTUAL
  if diff -u "$2" "$3" >"$TX_WORK/diff.txt"; then
    pass "$1"
  else
    fail "$1 (differences, - expected + actual):"
    cat "$TX_WORK/diff.txt"
  fi
}

expect_file() {  # DESCRIPTION UNIX-PATH
  if [ -f "$2" ]; then pass "$1"; else fail "$1: no file $2"; fi
}

expect_no_path() {  # DESCRIPTION UNIX-PATH
  if [ ! -e "$2" ]; then pass "$1"; else fail "$1: $2 exists"; fi
}

# ---- the driver ---------------------------------------------------------------

# Runs txdrive with the arguments; its report is in $DRV_OUT and is echoed to
# the log. Returns the driver's exit code.
drv() {
  DRV_N=$((DRV_N + 1))
  DRV_OUT=$TX_WORK/drv-$DRV_N.out
  timeout 90 wine "$TX_DRIVER" "$@" >"$DRV_OUT" 2>&1
  local rc=$?
  echo "  \$ txdrive $*  -> $rc"
  sed 's/^/    /' "$DRV_OUT"
  return $rc
}

# One NAME=value field of the last driver report (`run` gives exit= and
# windows=; Windows exit codes arrive at Linux as their low byte, the driver
# reports them whole).
drv_field() {  # NAME
  sed -n "s/^$1=//p" "$DRV_OUT" | head -n 1
}

# The installer's log in the user's %TEMP%; empty when there is none.
setup_log() {
  find "$C/users" -path '*/Temp/TarnixSetup.log' | head -n 1
}

# A silent run's log names the failed change: "action failed: <kind>
# TARGET (error N)".
expect_failed_action() {  # DESCRIPTION LOGFILE TARGET
  if grep -F 'action failed: ' "$2" | grep -qF " $3 (error "; then
    pass "$1"
  else
    fail "no line 'action failed: <kind> $3 (error N)' in the log"
  fi
}

# No Programs and Features entry in a reg_snapshot_all file.
expect_no_uninstall_entry() {  # REG-SNAPSHOT
  if grep -qxF "[$UNINSTALL_ENTRY] absent" "$1"; then
    pass "no Programs and Features entry"
  else
    fail "a Programs and Features entry was left"
  fi
}

# A driver command that is itself a check.
expect_drv() {  # DESCRIPTION DRIVER-ARGS...
  local what=$1
  shift
  if drv "$@"; then pass "$what"; else fail "$what"; fi
}

# Registry state the installer reads and writes, in the driver's sorted form.
reg_snapshot() {  # FILE
  drv regdump "${REG_ROOTS[@]}" >/dev/null
  grep -v '^\(fixme\|err\|warn\):' "$DRV_OUT" >"$1"
}

# The installation's own keys outside REG_ROOTS: the Programs and Features
# entry and Active Setup's component (the machine's and the user's).
UNINSTALL_ENTRY='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\TarnixBatchPlot'
ACTIVE_SETUP_KEYS=('HKLM\SOFTWARE\Microsoft\Active Setup\Installed Components\TarnixBatchPlot'
                   'HKCU\SOFTWARE\Microsoft\Active Setup\Installed Components\TarnixBatchPlot')

# Every registry key an installation writes, absent ones named as such.
reg_snapshot_all() {  # FILE
  drv regdump "${REG_ROOTS[@]}" "$UNINSTALL_ENTRY" "${ACTIVE_SETUP_KEYS[@]}" >/dev/null
  grep -v '^\(fixme\|err\|warn\):' "$DRV_OUT" >"$1"
}

# ---- the machine ----------------------------------------------------------------

# Imports UTF-8 .reg files and checks that every key they name arrived.
seed_registry() {  # FILE...
  local f key missing tries
  # Under load a heavily busy wineserver has been seen to show an import
  # late: looked at again, and imported once more, before giving up.
  for tries in 1 2 3; do
    "$E2E_WINE/import-reg.sh" "$@" || fatal "registry import failed"
    reg_snapshot "$TX_WORK/seeded.txt"
    missing=0
    for f in "$@"; do
      while IFS= read -r key; do
        grep -qxF "[$key]" "$TX_WORK/seeded.txt" || { log "not imported: [$key]"; missing=1; }
      done < <(sed -n 's/\r$//; s/^\[HKEY_LOCAL_MACHINE\\\(.*\)\]$/HKLM\\\1/p; s/^\[HKEY_CURRENT_USER\\\(.*\)\]$/HKCU\\\1/p' "$f")
    done
    [ $missing -eq 0 ] && return 0
    sleep 2
  done
  fatal "the registry seed did not arrive"
}

# A fake AutoCAD installation folder under C:\ with the given subfolders.
acad_folder() {  # PATH-BELOW-C: [SUBFOLDER...]
  local dir=$C/$1
  shift
  mkdir -p "$dir"
  local s
  for s in "$@"; do mkdir -p "$dir/$s"; done
}

# The AutoCAD installations the full-install machine's seed.reg names.
full_install_acad_folders() {
  acad_folder "Program Files (x86)/AutoCAD 2008" Fonts Drv
  acad_folder "Program Files/Autodesk/AutoCAD 2016" Fonts Drv
  acad_folder "Program Files/Autodesk/AutoCAD 2017" Fonts Drv
  acad_folder "Program Files/Autodesk/AutoCAD 2019" Fonts
  acad_folder "Program Files/Autodesk/AutoCAD 2020" Fonts
}

# What an earlier installation left (replaced by this one), and the package
# with a copy of the installer and a sub-folder in Data, which are never
# deployed, and one more file, which is, under its own name (the program
# without a manifest: see install_package).
full_install_files() {
  printf 'old driver\n' >"$C/Program Files (x86)/AutoCAD 2008/Drv/pdfplot9.hdi"
  mkdir -p "$APPDATA_DIR/Tarnix"
  printf 'old settings\n' >"$APPDATA_DIR/Tarnix/Tarnix.Ini"
  install_package SetUp.EXE Readme.txt
  mkdir -p "$C/pkg/Data/Extras"
  printf 'placeholder Extras/Inner.txt\n' >"$C/pkg/Data/Extras/Inner.txt"
}

# The package copied to C:\pkg; extra arguments are extra files for Data,
# which only a program without a manifest installs: that one comes with them.
install_package() {  # [EXTRA-DATA-FILE...]
  mkdir -p "$C/pkg"
  cp -a "$TX_PACKAGE_DIR/." "$C/pkg/"
  local f
  for f in "$@"; do printf 'placeholder %s\n' "$f" >"$C/pkg/Data/$f"; done
  [ $# -eq 0 ] || cp "$TX_UNVERIFIED_SETUP" "$C/pkg/SetUp.exe"
}

# Every file below the given folders (relative to BASE), sorted, each with its
# first line: the placeholder payload names its source file.
tree_dump() {  # BASE DIR...
  local base=$1 d p
  shift
  for d in "$@"; do
    if [ ! -e "$base/$d" ]; then
      echo "$d: absent"
      continue
    fi
    (cd "$base" && find "$d" -mindepth 1 | LC_ALL=C sort) | while IFS= read -r p; do
      if [ -d "$base/$p" ]; then echo "$p/"
      elif [[ $p == *.exe ]]; then echo "$p: (program)"
      else echo "$p: $(head -n 1 "$base/$p")"; fi
    done
  done
}

# The files of the full-install machine an installation into C:\BASE writes.
full_install_tree() {  # FILE [BASE-BELOW-C]
  {
    echo "== C:"
    tree_dump "$C" "${2:-Tarnix}" "Program Files (x86)/AutoCAD 2008" "Program Files/Autodesk"
    echo "== APPDATA:"
    tree_dump "$APPDATA_DIR" Tarnix
  } >"$1"
}

# ---- the installer --------------------------------------------------------------

setup_start() {  # [WINDOWS-PATH-OF-SETUP]
  local exe=${1:-'C:\pkg\SetUp.exe'}
  (cd "$C" && exec timeout 180 wine "$exe" >"$TX_WORK/setup.log" 2>&1) &
  SETUP_PID=$!
  drv wait "{title}" --timeout=60 || fatal "the setup dialog did not appear"
}

# True when SetUp.exe's process has ended within SECONDS.
setup_ended() {  # SECONDS
  local _
  for _ in $(seq $(($1 * 10))); do
    if ! kill -0 "$SETUP_PID" 2>/dev/null; then
      wait "$SETUP_PID" 2>/dev/null
      SETUP_PID=
      return 0
    fi
    sleep 0.1
  done
  return 1
}

# A process named acad.exe: a copy of the driver that only sleeps.
start_fake_acad() {
  cp "$TX_DRIVER" "$TX_WORK/acad.exe"
  (exec timeout 170 wine "$TX_WORK/acad.exe" sleep 160 >"$TX_WORK/acad.log" 2>&1) &
  HELPER_PIDS+=($!)
}

# Screenshot of the display, saved under TX_SHOTS_DIR; prints its path. The
# whole screen is kept as $TX_WORK/raw-VIEW.png for the colour checks.
shot() {  # VIEW-NAME
  local file=$TX_SHOTS_DIR/$TX_SCENARIO-$1.png
  sleep 1  # let the windows finish painting
  if xvfb_shot "$file" "$TX_WORK/raw-$1.png" && [ -s "$file" ]; then
    log "screenshot: $file"
  else
    fail "screenshot $1 could not be taken"
  fi
}

# Number of pixels of colour R,G,B inside a control's rectangle, taken from a
# dump of the dialog and the untrimmed screenshot of the same moment.
colour_count() {  # RAW-PNG DUMP-FILE CONTROL-ID R,G,B
  local origin rect ox oy l t r b
  origin=$(dump_field "$2" "window " origin)
  rect=$(dump_field "$2" "control id=$3 " rect)
  IFS=, read -r ox oy <<<"$origin"
  IFS=, read -r l t r b <<<"$rect"
  convert "$1" -crop "$((r - l))x$((b - t))+$((ox + l))+$((oy + t))" +repage \
    -format %c histogram:info:- 2>/dev/null |
    awk -v want="($4)" '{ gsub(/ /, "", $2); if ($2 == want) { sub(":", "", $1); n += $1 } } END { print n + 0 }'
}

# The colour (R,G,B) of one pixel of the dialog's client area.
client_pixel() {  # RAW-PNG DUMP-FILE X Y
  local origin ox oy
  origin=$(dump_field "$2" "window " origin)
  IFS=, read -r ox oy <<<"$origin"
  convert "$1" -crop "1x1+$((ox + $3))+$((oy + $4))" +repage -format %c histogram:info:- 2>/dev/null |
    awk '{ gsub(/[() ]/, "", $2); print $2; exit }'
}

# Colours of the initial view: light green background, the version line in
# dark green, other texts in black.
expect_dialog_colours() {  # RAW-PNG DUMP-FILE ENABLED-BOX-ID
  local rect l t n
  rect=$(dump_field "$2" "control id=1013 " rect)
  IFS=, read -r l t _ _ <<<"$rect"
  expect_eq "background colour" "170,210,150" "$(client_pixel "$1" "$2" "$l" "$((t / 2))")"
  n=$(colour_count "$1" "$2" 1013 10,70,40)
  if [ "$n" -ge 20 ]; then pass "version line drawn in 10,70,40 ($n pixels)"; else fail "version line: $n pixels of 10,70,40"; fi
  n=$(colour_count "$1" "$2" 1016 0,0,0)
  if [ "$n" -ge 10 ]; then pass "heading drawn in black ($n pixels)"; else fail "heading: $n black pixels"; fi
  n=$(colour_count "$1" "$2" 1016 10,70,40)
  expect_eq "heading not in the version line's colour" 0 "$n"
  n=$(colour_count "$1" "$2" "$3" 0,0,0)
  if [ "$n" -ge 10 ]; then pass "enabled release box label in black ($n pixels)"; else fail "box $3: $n black pixels"; fi
}

# The 18 release checkboxes, 2007 first (2010 and 2011 have swapped ids).
RELEASE_IDS=(1018 1019 1020 1027 1026 1028 1029 1030 1031 1032 1033 1034 1035 1036 1037 1038 1039 1040)

release_id() {  # YEAR
  echo "${RELEASE_IDS[$(($1 - 2007))]}"
}

# Checks of the initial view: every box shown; exactly the listed releases
# enabled and ticked, all others disabled and unticked.
expect_initial_view() {  # YEAR...
  local args=() y id want
  for y in $(seq 2007 2024); do
    id=$(release_id "$y")
    want=0
    [[ " $* " == *" $y "* ]] && want=1
    args+=("$id" visible=1 "enabled=$want" "checked=$want" "text=For AutoCAD$y")
  done
  args+=(1013 visible=1 "text={version}"
         1016 visible=1 "text={head_releases}"
         1017 visible=1 "text={head_path}"
         1000 visible=1 enabled=1 'text=C:\Tarnix'
         1015 visible=1 enabled=1 "text={browse_button}"
         1022 visible=1 enabled=1 "text={install_button}"
         2 visible=1 enabled=1 "text={cancel_button}"
         1014 visible=0
         1021 visible=0
         1023 visible=0 "text={done_note}"
         1 visible=0 "text={done_button}")
  if [ $# -gt 0 ]; then args+=(1 enabled=1); else args+=(1 enabled=0); fi
  expect_drv "initial view with releases [${*:-none}] enabled and ticked" expect "{title}" "${args[@]}"
}

# Checks of the completion view (the completion button's state is given).
expect_completion_view() {  # ENABLED-0-OR-1
  local args=() id
  for id in "${RELEASE_IDS[@]}"; do args+=("$id" visible=0); done
  args+=(1023 visible=1 "text={done_note}"
         1021 visible=1
         1 visible=1 "enabled=$1"
         1016 visible=0 1014 visible=0 pos=50 1022 visible=0 2 visible=0
         1017 visible=0 1000 visible=0 1015 visible=0
         1013 visible=1 "text={version}")
  expect_drv "completion view (completion button enabled=$1)" expect "{title}" --timeout=30 "${args[@]}"
}

# Field KEY of the first dump line that starts with PREFIX (e.g. "control id=1 ").
dump_field() {  # DUMP-FILE LINE-PREFIX KEY
  grep -m1 "^$2" "$1" | tr ' ' '\n' | sed -n "s/^$3=//p" | head -n1
}

# The unix path an entry of the Data folder is deployed to, or nothing when
# the installer must leave it in Data.
payload_target() {  # NAME INSTALL-DIR-BELOW-C
  local lower=${1,,}
  case $lower in
    . | .. | setup.exe | tarnix_en.shx | tarnix_hz.shx | tarnix.prt5) ;;
    tarnix.prt7) echo "$C/$2/itextsharp.dll" ;;
    tarnix.prt8) echo "$C/$2/PdfSharp.Charting.dll" ;;
    tarnix.prt9) echo "$C/$2/PdfSharp.dll" ;;
    tarnix.ini) echo "$APPDATA_DIR/Tarnix/$1" ;;
    *) echo "$C/$2/$1" ;;
  esac
}

# Checks of the dialog while the installation runs (a message box of the
# copy stage keeps it there).
expect_installing_view() {  # PROGRESS-POSITION
  local args=() id
  for id in "${RELEASE_IDS[@]}"; do args+=("$id" visible=1); done
  args+=(1014 visible=1 "pos=$1" low=0 high=50
         1017 visible=0 1000 visible=0 1015 visible=0
         1016 visible=1 1022 visible=1 2 visible=1 1013 visible=1
         1 visible=0 1021 visible=0 1023 visible=0)
  expect_drv "installing view, progress at $1" expect "{title}" "${args[@]}"
}

# The Data folder's entries in the order the installer's listing sees them.
data_listing() {  # WINDOWS-DATA-DIR
  drv list "$1" >/dev/null || fatal "cannot list $1"
  sed -n 's/^\(file\|dir\) //p' "$DRV_OUT"
}
