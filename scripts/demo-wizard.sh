#!/usr/bin/env bash
# Runs the packed wizard UPDATE on $WINEPREFIX and clicks through it as a
# person would (Suivant, Démarrer, Oui to the question, Quitter), saving a
# screenshot of every page into SHOTS. Without a display it starts Xvfb.
#   demo-wizard.sh UPDATE SHOTS
set -euo pipefail
update=${1:?usage: demo-wizard.sh UPDATE SHOTS}
shots=${2:?usage: demo-wizard.sh UPDATE SHOTS}
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$shots"
xvfb=
if [ -z "${DISPLAY:-}" ]; then
  export DISPLAY=:77
  Xvfb "$DISPLAY" -screen 0 1024x768x24 >/dev/null 2>&1 &
  xvfb=$!
  sleep 1
fi
cleanup() { [ -n "${wizard:-}" ] && kill "$wizard" 2>/dev/null; [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null; true; }
trap cleanup EXIT
QT_QPA_PLATFORM=xcb "$update" &
wizard=$!

windows() { xdotool search --onlyvisible --pid "$wizard" 2>/dev/null || true; }
shot() {
  xwd -root -silent -out "$shots/$1.xwd"
  "$here/xwd-to-png.py" "$shots/$1.xwd" "$shots/$1.png" && rm -f "$shots/$1.xwd"
}
# Clicks the main window at a point given relative to its top-left corner;
# there is no window manager, so the window is where the program put it.
click() {
  eval "$(xdotool getwindowgeometry --shell "$main")"
  xdotool mousemove $((X + $1)) $((Y + $2)) click 1
  sleep 2
}
# Answers a message box if one is open: its default button (Oui) by Enter.
answer() {
  for w in $(windows); do
    [ "$w" = "$main" ] && continue
    shot "$1"
    xdotool windowfocus --sync "$w" key --window "$w" Return
    sleep 3
  done
}

for _ in $(seq 50); do main=$(windows | head -1); [ -n "$main" ] && break; sleep 0.2; done
[ -n "$main" ] || { echo "the wizard did not show its window" >&2; exit 1; }
sleep 2
eval "$(xdotool getwindowgeometry --shell "$main")"
# The button row: Suivant (then Démarrer, then Quitter) sits 89 pixels left
# of the right edge and 23 above the bottom.
next_x=$((WIDTH - 89)) next_y=$((HEIGHT - 23))
shot 1-welcome
click $next_x $next_y   # Suivant
shot 2-changes
click $next_x $next_y   # Démarrer
answer 3-question
sleep 5
answer 4-question
shot 5-report
click $next_x $next_y   # Quitter
for _ in $(seq 50); do kill -0 "$wizard" 2>/dev/null || break; sleep 0.2; done
wizard=
ls "$shots"
