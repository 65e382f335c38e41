# shellcheck shell=bash
# Steps shared by the scenarios of the Browse button's folder chooser
# (sourced after lib.sh).
#
# The chooser's messages are captioned with the application's title, the
# program file's name without its extension.
APP_TITLE=SetUp
BROWSE_TREE=14145
BROWSE_STATUS=14147
BROWSE_EDIT=14148

# Types START into the setup dialog's folder edit, clicks Browse and waits
# for the chooser.
browse_open() {  # START-FOLDER
  expect_drv "type [$1] into the folder edit" settext "{title}" 1000 "$1"
  drv click "{title}" 1015 >/dev/null
  drv wait "{browse_caption}" --class=#32770 --timeout=20 || fatal "Browse did not open the chooser"
  pass "Browse opens the chooser"
}

# Types TEXT into the chooser's edit box (the edit reports the change).
browse_type() {  # TEXT
  drv settext "{browse_caption}" "$BROWSE_EDIT" "$1" --notify || fail "could not type [$1] into the chooser"
}

# The chooser's OK; it may open a message box, so the click is not awaited.
browse_ok() {
  drv click "{browse_caption}" 1 >/dev/null || fail "could not press the chooser's OK"
}

# The text of one of the chooser's messages for PATH, in the driver's notation.
folder_message() {  # PATH TAIL
  printf 'The folder:{nl}{nl}%s{nl}{nl}%s' "$1" "$2"
}

# Waits for the chooser's message box and keeps a dump of it and a picture
# of the screen (for the icon's colours) in $TX_WORK as box-VIEW.txt and
# raw-VIEW.png; "keep" also saves the picture with the screenshots.
capture_box() {  # VIEW [keep]
  drv wait "$APP_TITLE" --class=#32770 --timeout=15 || { fail "no message box captioned $APP_TITLE"; return 1; }
  drv dump "$APP_TITLE" >/dev/null
  cp "$DRV_OUT" "$TX_WORK/box-$1.txt"
  if [ "${2:-}" = keep ]; then
    shot "$1"
  else
    sleep 1  # let the box finish painting
    xvfb_shot "$TX_WORK/shot-$1.png" "$TX_WORK/raw-$1.png" || fail "screenshot $1 could not be taken"
  fi
}

# Which of Wine's message-box icons control 1088 of the dumped box shows,
# told apart by colour: "orange" for the exclamation mark, "blue" for the
# question mark (Wine's information icon is blue as well).
box_icon_colour() {  # VIEW
  local raw=$TX_WORK/raw-$1.png dump=$TX_WORK/box-$1.txt origin rect ox oy l t r b
  origin=$(dump_field "$dump" "window " origin)
  rect=$(dump_field "$dump" "control id=1088 " rect)
  if [ -z "$origin" ] || [ -z "$rect" ]; then
    echo "no icon"
    return
  fi
  IFS=, read -r ox oy <<<"$origin"
  IFS=, read -r l t r b <<<"$rect"
  convert "$raw" -crop "$((r - l))x$((b - t))+$((ox + l))+$((oy + t))" +repage \
    -format %c histogram:info:- 2>/dev/null |
    awk '{ n = $1; sub(":", "", n); c = $2; gsub(/[() ]/, "", c); split(c, v, ",")
           if (v[1] > 200 && v[2] >= 80 && v[2] <= 190 && v[3] < 90) orange += n
           if (v[3] > 140 && v[1] < 110 && v[2] < 150) blue += n }
         END { if (orange >= 40 && blue < 10) print "orange"
               else if (blue >= 40 && orange < 10) print "blue"
               else printf "unclear (orange %d, blue %d)\n", orange, blue }'
}

# The chooser's report that PATH is invalid: an OK box with the exclamation
# mark, owned by the chooser. It is answered and the chooser must stay open
# with the focus in its edit box, still holding PATH.
expect_invalid_report() {  # PATH VIEW [keep]
  capture_box "$2" "${3:-}" || return
  expect_drv "[$1] is reported invalid" msgbox --caption="$APP_TITLE" --owner="{browse_caption}" \
    --buttons=1 --icon=1 --text="$(folder_message "$1" 'is invalid. Please reenter.')" --press=1
  expect_eq "the invalid report shows the exclamation mark" orange "$(box_icon_colour "$2")"
  expect_drv "the chooser stays open after the report on [$1], focus in its edit" \
    expect "{browse_caption}" "$BROWSE_EDIT" "text=$1" focused=1 window visible=1 enabled=1
}

# Checks of the chooser's window: its parts, their places, its owner.
expect_browser_layout() {
  drv dump "{browse_caption}" >/dev/null || { fail "cannot read the chooser"; return; }
  local dump=$TX_WORK/browser.txt
  cp "$DRV_OUT" "$dump"
  expect_eq "the chooser is a dialog window" "#32770" "$(dump_field "$dump" "window " class)"
  expect_eq "the chooser is owned by the setup dialog" "Tarnix批打印软件安装" "$(dump_field "$dump" "window " owner)"
  expect_drv "the chooser's tree, edit box and buttons" expect "{browse_caption}" \
    "$BROWSE_TREE" visible=1 class=SysTreeView32 \
    "$BROWSE_EDIT" visible=1 enabled=1 class=Edit \
    "$BROWSE_STATUS" visible=0 \
    1 visible=1 2 visible=1 enabled=1
  local tree edit tl tt tr el et er eb
  tree=$(dump_field "$dump" "control id=$BROWSE_TREE " rect)
  edit=$(dump_field "$dump" "control id=$BROWSE_EDIT " rect)
  IFS=, read -r tl tt tr _ <<<"$tree"
  IFS=, read -r el et er eb <<<"$edit"
  # The edit box spans the tree's width and ends 4 pixels above it, 23 high.
  expect_eq "edit box above the tree (left,top,right,bottom)" \
    "$tl,$((tt - 27)),$tr,$((tt - 4))" "$el,$et,$er,$eb"
}
