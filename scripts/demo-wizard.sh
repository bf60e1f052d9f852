#!/usr/bin/env bash
# Runs the packed wizard UPDATE on $WINEPREFIX and clicks through it as a
# person would (Suivant, Démarrer, Oui to the question, Quitter), saving a
# screenshot of every page into SHOTS. Without a display it starts Xvfb.
#   demo-wizard.sh UPDATE SHOTS
set -euo pipefail
update=${1:?usage: demo-wizard.sh UPDATE SHOTS}
shots=${2:?usage: demo-wizard.sh UPDATE SHOTS}
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

window() { xdotool search --sync --onlyvisible --pid "$wizard" 2>/dev/null | head -1; }
shot() { xwd -root -silent | convert xwd:- "$shots/$1.png" 2>/dev/null || xwd -root -silent -out "$shots/$1.xwd"; }
press() { xdotool key --clearmodifiers "$1"; sleep 1.5; }

sleep 3
main=$(window)
xdotool windowactivate --sync "$main" 2>/dev/null || true
shot 1-welcome
press Return            # Suivant
shot 2-changes
press Return            # Démarrer: the run starts, the library is up to date? no: older
sleep 5
shot 3-report
press Return            # Quitter
wait "$wizard" || true
wizard=
ls "$shots"
