# shellcheck shell=bash
# Steps shared by the scenarios of runs that converge: moved installations,
# runs cut off by TerminateProcess and run again, releases removed meanwhile,
# a restart still to come. Sourced after lib.sh and e2e_begin.

CONV_SEED=$E2E_COMMON/../move_and_back/seed.reg
ENTRY=$UNINSTALL_ENTRY
AS_MACHINE=${ACTIVE_SETUP_KEYS[0]}

# Windows exit codes arrive at Linux as their low byte.
code() { echo $(($1 % 256)); }

# The machine of these scenarios: AutoCAD 2008 (with its own pdfplot9.hdi
# and a font of ours by name), 2016 (with a font of ours by name) and 2019;
# a D: drive for another volume.
conv_machine_setup() {
  seed_registry "$CONV_SEED"
  acad_folder "Program Files (x86)/AutoCAD 2008" Fonts Drv
  acad_folder "Program Files/Autodesk/AutoCAD 2016" Fonts Drv
  acad_folder "Program Files/Autodesk/AutoCAD 2019" Fonts
  printf 'their driver\n' >"$C/Program Files (x86)/AutoCAD 2008/Drv/pdfplot9.hdi"
  printf 'their 2008 font\n' >"$C/Program Files (x86)/AutoCAD 2008/Fonts/Tarnix_HZ.shx"
  printf 'their 2016 font\n' >"$C/Program Files/Autodesk/AutoCAD 2016/Fonts/Tarnix_EN.shx"
  D=$TX_WORK/d-drive
  mkdir -p "$D"
  rm -f "$WINEPREFIX/dosdevices/d:"
  ln -s "$D" "$WINEPREFIX/dosdevices/d:"
  install_package
}

# Every key an installation writes (the entry and Active Setup's keys
# included) and every file of the folders it may touch.
conv_machine() {  # FILE
  reg_snapshot_all "$TX_WORK/m.reg"
  {
    cat "$TX_WORK/m.reg"
    echo "== C:"
    tree_dump "$C" Tarnix CAD "Program Files (x86)/AutoCAD 2008" "Program Files/Autodesk"
    echo "== D:"
    tree_dump "$D" CAD Tarnix
  } >"$1"
}

# A silent installation; checks its exit status.
silent_install() {  # LABEL WANT-EXIT [ARGS...]
  local label=$1 want=$2
  shift 2
  expect_drv "$label: SetUp.exe /S runs to its end" run --timeout=170 'C:\pkg\SetUp.exe' /S "$@"
  expect_eq "$label: exit status" "$want" "$(drv_field exit)"
}

# A silent uninstall by the given uninstaller; checks its exit status.
silent_uninstall() {  # LABEL WANT-EXIT WINDOWS-PATH-OF-UNINSTALLER
  expect_drv "$1: Uninstall.exe /S runs to its end" run --timeout=170 "$3" /S
  expect_eq "$1: exit status" "$2" "$(drv_field exit)"
}

# One value of a key, as the driver's wide dump shows it (backslashes
# doubled).
reg_value() {  # KEY NAME
  drv regdump --wide "$1" >/dev/null
  sed -n "s/^  $2=[a-z_]*://p" "$DRV_OUT" | head -n 1
}

# The Windows path as the wide dump writes it.
dumped() {  # WINDOWS-PATH
  printf '%s' "${1//\\/\\\\}"
}

# Checks of an installation that is complete and only in FOLDER (a
# Windows path of the parent, e.g. D:\CAD) and nowhere in OTHER.
expect_installed_in() {  # LABEL PARENT OTHER-PARENT
  local label=$1 dir="$2\\$SUBDIR_UTF8" other="$3\\$SUBDIR_UTF8" unix
  unix=$(win_to_unix "$dir")
  expect_eq "$label: the entry's InstallLocation" "$(dumped "$dir")" "$(reg_value "$ENTRY" InstallLocation)"
  expect_eq "$label: the entry's UninstallString" "$(dumped "\"$dir\\Uninstall.exe\"")" \
    "$(reg_value "$ENTRY" UninstallString)"
  expect_eq "$label: AutoCAD 2008's LOADER" "$(dumped "$dir\\TX_BatchPlot2008.ARX")" \
    "$(reg_value 'HKLM\SOFTWARE\Autodesk\AutoCAD\R17.1\ACAD-6001:804\Applications\TX_BatchPlot2008' LOADER)"
  expect_eq "$label: AutoCAD 2008's LOADER (32-bit tree)" "$(dumped "$dir\\TX_BatchPlot2008.ARX")" \
    "$(reg_value 'HKLM\SOFTWARE\Wow6432Node\Autodesk\AutoCAD\R17.1\ACAD-6001:804\Applications\TX_BatchPlot2008' LOADER)"
  expect_eq "$label: AutoCAD 2019's LOADER" "$(dumped "$dir\\TX_BatchPlot2019.ARX")" \
    "$(reg_value 'HKLM\SOFTWARE\Autodesk\AutoCAD\R23.0\ACAD-2001:804\Applications\TX_BatchPlot2019' LOADER)"
  local stub
  stub=$(reg_value "$AS_MACHINE" StubPath)
  if [[ $stub == *"$(dumped "\"$dir\\Uninstall.exe\" /USER")"* ]]; then
    pass "$label: Active Setup's StubPath runs the new uninstaller"
  else
    fail "$label: Active Setup's StubPath: $stub"
  fi
  expect_file "$label: the uninstaller" "$unix/Uninstall.exe"
  expect_file "$label: the journal" "$unix/InstallRecord.txt"
  expect_eq "$label: the payload" "placeholder Tarnix.prt7" "$(head -n 1 "$unix/itextsharp.dll" 2>/dev/null)"
  expect_eq "$label: the driver's backup" "their driver" "$(cat "$unix/Backup/"*-pdfplot9.hdi 2>/dev/null)"
  expect_eq "$label: the 2008 font's backup" "their 2008 font" "$(cat "$unix/Backup/"*-Tarnix_HZ.shx 2>/dev/null)"
  expect_eq "$label: the 2016 font's backup" "their 2016 font" "$(cat "$unix/Backup/"*-Tarnix_EN.shx 2>/dev/null)"
  expect_no_path "$label: nothing of $3 remains" "$(win_to_unix "$3")"
  # Every profile trusts the folder (values are upper-cased), none the other.
  reg_snapshot "$TX_WORK/trusted.txt"
  local n_all n_new n_old
  n_all=$(grep -c '^  TRUSTEDPATHS=' "$TX_WORK/trusted.txt")
  n_new=$(grep '^  TRUSTEDPATHS=' "$TX_WORK/trusted.txt" | grep -ciF "$(dumped "$dir")")
  n_old=$(grep '^  TRUSTEDPATHS=' "$TX_WORK/trusted.txt" | grep -ciF "$(dumped "$other")")
  expect_eq "$label: every profile trusts the folder" "3 of 3" "$n_new of $n_all"
  expect_eq "$label: no profile trusts the old folder" 0 "$n_old"
}

# A Windows path below C: or D: as a Linux path.
win_to_unix() {  # WINDOWS-PATH
  local p=$1 drive rest
  drive=${p:0:1}
  rest=${p:3}
  rest=${rest//\\//}
  case ${drive^^} in
    C) echo "$C/$rest" ;;
    D) echo "$D/$rest" ;;
  esac
}

# Active Setup's version (a,b,c,n) of the machine's component.
active_setup_version() {
  reg_value "$AS_MACHINE" Version
}
