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

for program in "$build/dralvo" "$build/gsmsim"; do
  [ -x "$program" ] || { echo "run-demo: $program is missing; build first" >&2; exit 1; }
done
mkdir -p "$config/Oxatek" "$demo"

# A first run gets settings that point at the simulator; later runs keep what
# the program saved (the link's name never changes).
if [ ! -s "$hive" ]; then
  printf '%s\r\n' \
    'REGEDIT4' \
    '' \
    '[HKEY_CURRENT_USER\Software\Oxatek\Dralvo_v1-7\Port]' \
    "\"ComPort\"=\"${link//\\/\\\\}\"" \
    '"Baudrate"=dword:0000000d' \
    '' \
    '[HKEY_CURRENT_USER\Software\Oxatek\Dralvo_v1-7\Advanced]' \
    '"AutoStart"=dword:00000001' \
    '"AutoStartDelay"=dword:000001f4' \
    '' >"$hive"
fi

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
XDG_CONFIG_HOME="$config" "$build/dralvo" || status=$?
exit "$status"
