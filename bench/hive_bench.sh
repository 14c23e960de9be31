#!/usr/bin/env bash
# Start and close times of the real program with a large settings hive.
#
#   bench/hive_bench.sh [BUILD_DIR] [VALUES] [VALUE_BYTES]
#
# Writes a user hive holding VALUES extra text values (default 4000) of
# VALUE_BYTES characters each (default 30) in the "Settings" key, which the
# program reads at start and writes at close, plus the usual values. Then starts
# the program in a private folder and measures
#   start_s: from the start until its control socket answers (the window has
#            loaded its settings and runs its event loop);
#   close_s: from SIGTERM until the program has saved its settings and ended;
#   vm_hwm_kb: the program's peak resident memory once it has started;
#   close_vm_hwm_kb: the same once it has saved (the peak of the whole run).
# Prints one JSON line. Not a test; CTest does not run it.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
values=${2:-4000}
value_bytes=${3:-30}
dralvo="$build/dralvo"
msg="$build/dralvo-msg"
[ -x "$dralvo" ] && [ -x "$msg" ] || { echo "hive_bench: build dralvo and dralvo-msg" >&2; exit 1; }

work=$(mktemp -d)
trap '[ -n "${pid:-}" ] && kill -9 "$pid" 2>/dev/null; rm -rf "$work"' EXIT
mkdir -p "$work/config/Oxatek" "$work/cwd" "$work/run" "$work/xdg"
chmod 700 "$work/run"
hive="$work/config/Oxatek/user.reg"
key='HKEY_CURRENT_USER\Software\Oxatek\Dralvo_v1-7'
{
  printf 'REGEDIT4\r\n\r\n[%s\\Settings]\r\n' "$key"
  filler=$(head -c "$value_bytes" /dev/zero | tr '\0' 'x')
  for ((i = 0; i < values; i++)); do
    printf '"Bulk%05d"="%s"\r\n' "$i" "$filler"
  done
  printf '"StartCmd"="a:/appmain2.jad"\r\n\r\n'
} >"$hive"
hive_bytes=$(stat -c %s "$hive")

now() { date +%s.%N; }
t0=$(now)
(cd "$work/cwd" && exec env QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$work/config" \
  XDG_CONFIG_DIRS="$work/xdg" XDG_RUNTIME_DIR="$work/run" "$dralvo" >"$work/out" 2>&1) &
pid=$!
socket="$work/run/Dralvo_v1-7.ctl"
until [ -S "$socket" ] && [ "$("$msg" --socket "$socket" 0 2>/dev/null)" = 0 ]; do
  kill -0 "$pid" 2>/dev/null || { echo "hive_bench: the program ended" >&2; cat "$work/out" >&2; exit 1; }
  sleep 0.005
done
t1=$(now)
hwm_kb=$(awk '/^VmHWM:/ {print $2}' "/proc/$pid/status")
kill -TERM "$pid"
# The peak while it saves, read until the process is gone.
close_hwm_kb=$hwm_kb
while kb=$(awk '/^VmHWM:/ {print $2}' "/proc/$pid/status" 2>/dev/null) && [ -n "$kb" ]; do
  close_hwm_kb=$kb
  sleep 0.01
done
wait "$pid" || true
t2=$(now)
pid=
awk -v v="$values" -v b="$hive_bytes" -v t0="$t0" -v t1="$t1" -v t2="$t2" -v m="$hwm_kb" -v c="$close_hwm_kb" 'BEGIN {
  printf "{\"values\": %d, \"hive_bytes\": %d, \"start_s\": %.3f, \"close_s\": %.3f, \"vm_hwm_kb\": %d, \"close_vm_hwm_kb\": %d}\n", v, b, t1 - t0, t2 - t1, m, c }'
