#!/bin/bash
# DLLs named like system DLLs that are not KnownDLLs, lying beside SetUp.exe
# (as they would in a Downloads folder), are never loaded into it: not at
# start, not for the folder chooser, not during an installation. Wine is
# made to search the program's folder first for those names, as Windows
# does; a control program in the same folder shows that it then loads them.
here=$(dirname "$0")
source "$here/../common/lib.sh"
: "${TX_PLANTED_DIR:?}" "${TX_PLANTED_NAMES:?}" "${TX_PLANTED_PROBE:?}"
e2e_begin
seed_registry "$here/seed.reg"
acad_folder "Program Files/Autodesk/AutoCAD 2010" Fonts
install_package

IFS=, read -r -a names <<<"$TX_PLANTED_NAMES"
dlls=()
for n in "${names[@]}"; do
  cp "$TX_PLANTED_DIR/$n.dll" "$C/pkg/$n.dll" || fatal "no planted $n.dll in $TX_PLANTED_DIR"
  dlls+=("$n.dll")
done
cp "$TX_PLANTED_PROBE" "$C/pkg/txprobe.exe"
native_first="mscoree,mshtml=;$(IFS=,; echo "${names[*]}")=n,b"
log "WINEDLLOVERRIDES=$native_first"

markers() {  # the planted DLLs that left a marker
  local n found=()
  for n in "${names[@]}"; do [ -e "$C/pkg/$n.dll.loaded" ] && found+=("$n"); done
  echo "${found[*]}"
}

# The control: a program in the same folder that loads each name plainly
# gets the planted copy, so a marker proves a load and its absence is worth
# something.
(cd "$C/pkg" && WINEDLLOVERRIDES=$native_first exec timeout 60 wine 'C:\pkg\txprobe.exe' \
  "${dlls[@]}" </dev/null >"$TX_WORK/probe.log" 2>&1)
sed 's/^/    /' "$TX_WORK/probe.log"
timeout 30 wineserver -w 2>/dev/null || true
expect_eq "the control program loads every planted DLL" "${names[*]}" "$(markers)"
expect_eq "each from the program's folder" "${#names[@]}" \
  "$(grep -ic '^[a-z0-9]*\.dll: C:\\pkg\\' "$TX_WORK/probe.log")"
rm -f "$C"/pkg/*.dll.loaded
[ -z "$(markers)" ] || fatal "markers could not be removed"

# SetUp.exe as a user starts it from Explorer: working directory its own
# folder, which Windows also searches.
(cd "$C/pkg" && WINEDLLOVERRIDES=$native_first WINEDEBUG=-all,+loaddll \
  exec timeout 180 wine 'C:\pkg\SetUp.exe' </dev/null >"$TX_WORK/setup.log" 2>&1) &
SETUP_PID=$!
drv wait "{title}" --timeout=60
started=$?
expect_eq "no planted DLL loaded at start" "" "$(markers)"
[ $started -eq 0 ] || fatal "the setup dialog did not appear"

# The folder chooser opened and closed.
drv click "{title}" 1015 >/dev/null
drv wait "{browse_caption}" --class=#32770 --timeout=20 || fatal "Browse did not open the chooser"
pass "Browse opens the chooser"
expect_drv "Cancel closes the chooser" click "{browse_caption}" 2
expect_drv "the chooser is gone" gone "{browse_caption}"
expect_eq "no planted DLL loaded by the chooser" "" "$(markers)"

expect_drv "the default folder is still there" expect "{title}" 1000 'text=C:\Tarnix'
expect_drv "click Install" click "{title}" 1022
expect_completion_view 1
expect_drv "no message was shown" nomsgbox
inst="$C/Tarnix/$SUBDIR_UTF8"
expect_eq "payload installed" "placeholder Tarnix.prt7" "$(head -n1 "$inst/itextsharp.dll" 2>/dev/null)"
expect_eq "settings file in the user's application data" "placeholder Tarnix.Ini" \
  "$(head -n1 "$APPDATA_DIR/Tarnix/Tarnix.Ini" 2>/dev/null)"
expect_file "fonts installed" "$C/Program Files/Autodesk/AutoCAD 2010/Fonts/Tarnix_EN.shx"
expect_eq "nothing planted was installed" "" "$(ls "$inst" | grep -i '\.dll\.loaded$')"
expect_drv "the completion button" click "{title}" 1
if setup_ended 15; then pass "the program ends with its dialog"; else fail "SetUp.exe still runs"; fi

expect_eq "no planted DLL loaded at all" "" "$(markers)"
# Wine's loader log names every module it mapped into SetUp.exe's process:
# none but the program itself may come from its folder (a planted DLL whose
# missing exports stopped the load before its DllMain leaves no marker).
pid=$(grep -a -m1 'loaddll.*Loaded L"C:\\\\pkg\\\\SetUp.exe"' "$TX_WORK/setup.log" | cut -d: -f1)
[ -n "$pid" ] || fail "SetUp.exe is not in Wine's loader log"
grep -a "^$pid:trace:loaddll" "$TX_WORK/setup.log" | sed -n 's/.*Loaded L"\([^"]*\)".*/\1/p' |
  sort -u >"$TX_WORK/loaded.txt"
log "modules loaded into SetUp.exe:"
sed 's/^/    /' "$TX_WORK/loaded.txt"
if [ -s "$TX_WORK/loaded.txt" ]; then
  expect_eq "no module from the program's folder but SetUp.exe" "" \
    "$(grep -i '^C:\\\\pkg\\\\' "$TX_WORK/loaded.txt" | grep -iv '\\\\SetUp\.exe$')"
else
  fail "Wine's loader log is empty"
fi
e2e_finish
