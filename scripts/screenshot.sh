#!/usr/bin/env bash
# Takes the README's screenshot (docs/dralvo.png) from the real program: the demo
# of "make run" (gsmsim on a pseudo-terminal, Dralvo connected to it) on a private
# virtual display with a window manager, two filter strings set and one command
# sent, so the picture shows received, sent, filtered and program lines.
#
#   scripts/screenshot.sh [BUILD] [OUT.png]
#
# Needs xvfb, openbox, xdotool and imagemagick (pngquant makes the file smaller
# when it is there). The demo runs in a folder of its own, so the settings of
# "make run" in BUILD/demo are left alone.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
out=${2:-$root/docs/dralvo.png}
for tool in Xvfb openbox xdotool import convert; do
  command -v "$tool" >/dev/null || {
    echo "screenshot: $tool is missing (apt install xvfb openbox xdotool imagemagick)" >&2
    exit 1
  }
done

# A short port path reads better in the picture than the build folder's.
work=${TMPDIR:-/tmp}/dralvo-demo
rm -rf "$work"
mkdir -p "$work/demo/config/Oxatek"
for program in dralvo gsmsim; do ln -s "$build/$program" "$work/$program"; done
# run-demo.sh adds the port and the window places; the filters are the picture's own
# ("%" finds the text anywhere in a line).
app='HKEY_CURRENT_USER\Software\Oxatek\Dralvo_v1-7'
printf 'REGEDIT4\r\n\r\n[%s\\Settings]\r\n"Filter1"="%%GpsReader"\r\n"Filter2"="%%NetMonitor"\r\n\r\n' \
  "$app" >"$work/demo/config/Oxatek/user.reg"

for n in $(seq 140 199); do [ -e "/tmp/.X$n-lock" ] || { display=:$n; break; }; done
Xvfb "$display" -screen 0 1280x720x24 -nolisten tcp >/dev/null 2>&1 &
pids=($!)
stop() { for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done; wait; }
trap stop EXIT
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
export DISPLAY=$display QT_QPA_PLATFORM=xcb
openbox >/dev/null 2>&1 &
pids+=($!)
sleep 1

DEMO_PERIOD_MS=600 "$root/scripts/run-demo.sh" "$work" >"$work/demo.out" 2>&1 &
pids+=($!)
terminal=""
for _ in $(seq 100); do
  terminal=$(xdotool search --onlyvisible --name '^Terminal$' 2>/dev/null | head -1) || true
  [ -n "$terminal" ] && break
  sleep 0.1
done
[ -n "$terminal" ] || { echo "screenshot: the terminal window did not show" >&2; cat "$work/demo.out" >&2; exit 1; }
# Some traffic first, then a command typed into the terminal window as a user would.
sleep 4
xdotool windowactivate --sync "$terminal"
xdotool type --delay 60 'at'
xdotool key Return
sleep 5
import -window root "$work/screen.png"
# The two windows with their frames, without the empty desktop below them.
# Dralvo ends first (the demo then stops the simulator), while its display is still there.
kill "$(xdotool getwindowpid "$terminal")"
wait "${pids[2]}" || true
convert "$work/screen.png" -crop 1260x660+10+10 +repage "$work/crop.png"
if command -v pngquant >/dev/null; then
  pngquant --force --quality 80-100 --output "$out" "$work/crop.png"
else
  cp "$work/crop.png" "$out"
fi
echo "screenshot: $out ($(stat -c %s "$out") bytes)"
