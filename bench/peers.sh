#!/usr/bin/env bash
# The end-to-end benchmark's workloads against Debian-packaged serial terminals
# that log what they receive (tio, picocom), so each figure of Dralvo can be
# compared with theirs. Same driver, same pseudo-terminal, same sequence-numbered
# lines; the driver follows each program's log file.
#
#   [PEER_LINES=N] bench/peers.sh [BUILD_DIR] [PACED_SECONDS]
#
# Installs tio and picocom with apt-get when they are missing and it may (root);
# a program that is not there is skipped with a note. One JSON line per run.
set -uo pipefail
build=$(cd "${1:-build}" && pwd)
paced_seconds=${2:-60}
lines=${PEER_LINES:-200000}
bench="$build/bench/e2e_bench"
[ -x "$bench" ] || { echo "peers: $bench is missing; build the e2e_bench target" >&2; exit 1; }

want=()
for p in tio picocom; do command -v "$p" >/dev/null || want+=("$p"); done
if [ ${#want[@]} -gt 0 ]; then
  if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${want[@]}" >/dev/null 2>&1 ||
      echo "peers: could not install ${want[*]}; skipping what is missing" >&2
  else
    echo "peers: ${want[*]} not installed and apt-get not usable here; skipping them" >&2
  fi
fi

# Both want a terminal on their standard input: script(1) gives them one.
declare -A command=(
  [tio]="script -qfec 'tio -b 1000000 --log --log-file {log} {port}' /dev/null"
  [picocom]="script -qfec 'picocom -q -b 1000000 --logfile {log} {port}' /dev/null"
)

for peer in tio picocom; do
  if ! command -v "$peer" >/dev/null || ! command -v script >/dev/null; then
    echo "peers: $peer not available; skipped" >&2
    continue
  fi
  cmd=${command[$peer]}
  "$bench" --mode flood --lines "$lines" --dir /tmp --label "$peer disk" --peer "$cmd"
  "$bench" --mode flood --lines "$lines" --dir /dev/shm --label "$peer tmpfs" --peer "$cmd"
  "$bench" --mode paced --rate 100000 --seconds "$paced_seconds" --dir /tmp \
    --label "$peer paced" --peer "$cmd"
  "$bench" --mode idle --seconds 10 --dir /tmp --label "$peer idle" --peer "$cmd"
done
