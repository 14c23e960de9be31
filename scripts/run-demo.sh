#!/usr/bin/env bash
# Starts Dralvo against the GSM module simulator: gsmsim runs on a pseudo-terminal
# reached through a link in the build tree, and Dralvo starts with a demo
# settings folder that names that link as its port and connects by itself.
# Closing Dralvo (or Ctrl-C here) stops the simulator too.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
period=${DEMO_PERIOD_MS:-1000}
demo="$build/demo"
link="$demo/ttyGSM"
config="$demo/config"
hive="$config/Oxatek/user.reg"

# Without a display the toolkit would only abort; say what is missing instead.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "run-demo: no display (neither DISPLAY nor WAYLAND_DISPLAY is set)." >&2
  echo "run-demo: start it from a desktop session, or over ssh -X; the build is in $build." >&2
  exit 1
fi

for program in "$build/dralvo" "$build/gsmsim"; do
  [ -x "$program" ] || { echo "run-demo: $program is missing; build first" >&2; exit 1; }
done
mkdir -p "$config/Oxatek" "$demo"

# Every run starts on the simulator with auto-connect on, whatever an earlier
# run saved: the port values and "AutoStart" are set anew (the stored
# configuration string is dropped so the port value counts again); everything
# else the program saved (filters, histories, other automation) is kept.
# The first run also places the windows: the main window at the top left and
# the terminal beside it, wide enough for a whole record (time stamp, prefix
# and an 80-character line) without a horizontal scroll bar. Once the program
# has saved placements of its own, those count.
app='HKEY_CURRENT_USER\Software\Oxatek\Dralvo_v1-7'
[ -s "$hive" ] || printf 'REGEDIT4\r\n\r\n' >"$hive"
escaped=${link//\\/\\\\}
escaped=${escaped//\"/\\\"}
APP="$app" LINK="$escaped" awk '
  BEGIN { ORS = "\r\n"; app = ENVIRON["APP"]; link = ENVIRON["LINK"]
          port = tolower("[" app "\\Port]"); adv = tolower("[" app "\\Advanced]")
          forms = app "\\Options\\Forms\\"
          main = tolower("[" forms "frmMain]"); term = tolower("[" forms "termData_Form]") }
  function port_values() { print "\"ComPort\"=\"" link "\""; print "\"Baudrate\"=dword:0000000d" }
  function adv_values() { print "\"AutoStart\"=dword:00000001" }
  function dword(name, value) { printf "\"%s\"=dword:%08x%s", name, value, ORS }
  # Left 20, top 40; the main window keeps its own size.
  function main_values() { dword("Left", 20); dword("Top", 40) }
  # Right of the main window (450 wide), 760 by 620.
  function term_values() { dword("Left", 490); dword("Top", 40); dword("Width", 760); dword("Height", 620) }
  { sub(/\r$/, "") }
  /^\[/ {
    section = tolower($0)
    print
    last = $0
    if (section == port) { seen_port = 1; port_values() }
    if (section == adv) { seen_adv = 1; adv_values() }
    if (section == main) seen_main = 1
    if (section == term) seen_term = 1
    next
  }
  section == port && tolower($0) ~ /^"(comport|baudrate|configstring)"=/ { next }
  section == adv && tolower($0) ~ /^"autostart"=/ { next }
  { print; last = $0 }
  END {
    if ((!seen_port || !seen_adv || !seen_main || !seen_term) && last != "") print ""
    if (!seen_port) { print "[" app "\\Port]"; port_values(); print "" }
    if (!seen_adv) { print "[" app "\\Advanced]"; adv_values(); print "" }
    if (!seen_main) { print "[" forms "frmMain]"; main_values(); print "" }
    if (!seen_term) { print "[" forms "termData_Form]"; term_values(); print "" }
  }
' "$hive" >"$hive.new"
mv "$hive.new" "$hive"

sim_pid=""
stop_simulator() {
  if [ -n "$sim_pid" ] && kill -0 "$sim_pid" 2>/dev/null; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
}
trap stop_simulator EXIT
trap 'exit 130' INT TERM HUP

rm -f "$link"
"$build/gsmsim" --link "$link" --period "$period" &
sim_pid=$!
for _ in $(seq 100); do
  [ -L "$link" ] && break
  kill -0 "$sim_pid" 2>/dev/null || { echo "run-demo: gsmsim did not start" >&2; exit 1; }
  sleep 0.05
done
[ -L "$link" ] || { echo "run-demo: gsmsim made no link at $link" >&2; exit 1; }

echo "run-demo: simulator on $link (pid $sim_pid); logs in $demo/logs"
# The demo's own settings; logs go into the demo folder (the program's current directory).
cd "$demo"
status=0
# Its error output is shown as it comes and kept for the check below.
{ XDG_CONFIG_HOME="$config" "$build/dralvo" 2>&1 >&3 3>&- | tee "$demo/dralvo.stderr" >&2 3>&-; } 3>&1 ||
  status=$?
# A display that is named but cannot be reached (a stale DISPLAY, ssh without
# forwarding) makes the toolkit abort with a long text; say it in one line.
if [ "$status" != 0 ] && grep -qE 'could not connect to display|Failed to create wl_display' "$demo/dralvo.stderr"; then
  echo "run-demo: Dralvo could not open the display ${WAYLAND_DISPLAY:-$DISPLAY}; start it from a desktop session, or over ssh -X." >&2
fi
exit "$status"
