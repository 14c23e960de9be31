#!/bin/bash
# Several headless instances at once, each logging its own simulated module
# whose cable is pulled again and again. Every module tags its lines with its
# own name, so a line that lands in another instance's log is found as well as
# a lost or doubled one. Prints one JSON line per instance and one for all.
#
# usage: bench/parallel_headless.sh [BUILD_DIR] [INSTANCES] [SECONDS] [RATE] [PULL_EVERY]
#   BUILD_DIR   where dralvo and gsmsim are (default build)
#   INSTANCES   how many (default 10)
#   SECONDS     how long each module prints (default 600; the pulls add their pauses)
#   RATE        bytes per second each module prints (default 20000)
#   PULL_EVERY  seconds between two pulls of one cable (default 20)
# E2E_BENCH_KEEP=1 keeps the folders.
set -u

build=$(cd "${1:-build}" && pwd) || exit 2
instances=${2:-10}
seconds=${3:-600}
rate=${4:-20000}
every=${5:-20}
len=64
lines=$((rate * seconds / len))
dralvo=$build/dralvo
gsmsim=$build/gsmsim
[ -x "$dralvo" ] && [ -x "$gsmsim" ] || { echo "no dralvo or gsmsim in $build" >&2; exit 2; }

report() {
    read -r started ended < "$work/times"
    tick=$(getconf CLK_TCK)
    for i in $(seq "$instances"); do
        d=$work/$i
        read -r ticks hwm rss < "$d/usage"
        # gsmsim says which of its lines it wrote whole while the port was open
        # (and which of them in the last 20 ms before a pull, which the line may
        # still have held as it went); every other line has to be in this
        # instance's log once, in order, whole, and in no other log.
        awk -v own="$(printf 'inst%02d' "$i")" -v len="$len" -v i="$i" -v mine="$d/logs/" \
            -v cpu="$(awk -v t="$ticks" -v hz="$tick" -v a="$started" -v b="$ended" 'BEGIN { printf "%.2f", 100 * t / hz / (b - a) }')" \
            -v hwm="$hwm" -v rss="$rss" '
            FILENAME ~ /gsmsim.err$/ {
                if (match($0, /; [0-9]+ bytes not read/)) {
                    u = substr($0, RSTART + 2, RLENGTH - 16) + 0
                    unread += u
                    if (u > unreadMax) unreadMax = u
                }
                if ($0 !~ /lines SEQ [0-9]+ to [0-9]+ written/) next
                a = $4 + 0; b = $6 + 0; r = b + 1
                if (match($0, /from [0-9]+ on/)) r = substr($0, RSTART + 5, RLENGTH - 8) + 0
                for (s = a; s <= b; ++s) { want[s] = (s >= r) ? 2 : 1 }
                spans++
                next
            }
            {
                at = index($0, "SEQ ")
                if (!at) next
                text = substr($0, at)
                sub(/\r$/, "", text)
                split(text, f, " ")
                seq = f[2] + 0
                if (f[3] != own) next                      # counted by its own instance
                if (index(FILENAME, mine) != 1) { wrong++; next }
                if (length(text) != len - 2) { if (seq in want) cut++; else cutAtPull++; next }
                if (!(seq in want)) { unwritten++; next }
                if (++seen[seq] > 1) doubled++
                if (seq < last) outOfOrder++
                last = seq
            }
            END {
                for (s in want) {
                    ++written
                    if (s in seen) continue
                    if (want[s] == 2) lostLast20++; else lost++
                }
                printf "{\"instance\":%d,\"lines_written\":%d,\"pulls\":%d,\"lost\":%d,\"last_20ms_lost\":%d,\"doubled\":%d,\"out_of_order\":%d,\"wrong_log\":%d,\"cut\":%d,\"cut_at_pull\":%d,\"not_written\":%d,\"unread_at_pulls_bytes\":%d,\"unread_at_a_pull_max_bytes\":%d,\"cpu_pct_of_core\":%s,\"vm_hwm_kb\":%d,\"vm_rss_kb\":%d}\n",
                    i, written, spans - 1, lost, lostLast20, doubled, outOfOrder, wrong, cut, cutAtPull, unwritten, unread, unreadMax, cpu, hwm, rss
            }' "$d/gsmsim.err" "$work"/*/logs/*.log
    done | tee "$work/results" | cat
    awk -F'[,:}]' -v secs="$(awk -v a="$started" -v b="$ended" 'BEGIN { printf "%.1f", b - a }')" '
        { for (k = 1; k < NF; k += 2) { key = $k; gsub(/[{"]/, "", key); v[key] += $(k + 1); if ($(k + 1) > m[key]) m[key] = $(k + 1) } ; n++ }
        END {
            printf "{\"instances\":%d,\"seconds\":%s,\"lines_written\":%d,\"pulls\":%d,\"lost\":%d,\"last_20ms_lost\":%d,\"doubled\":%d,\"out_of_order\":%d,\"wrong_log\":%d,\"cut\":%d,\"cut_at_pull\":%d,\"not_written\":%d,\"unread_at_pulls_bytes\":%d,\"unread_at_a_pull_max_bytes\":%d,\"cpu_pct_of_core_mean\":%.2f,\"cpu_pct_of_core_max\":%.2f,\"vm_hwm_kb_max\":%d,\"vm_rss_kb_max\":%d}\n",
                n, secs, v["lines_written"], v["pulls"], v["lost"], v["last_20ms_lost"], v["doubled"], v["out_of_order"], v["wrong_log"], v["cut"], v["cut_at_pull"], v["not_written"], v["unread_at_pulls_bytes"], m["unread_at_a_pull_max_bytes"], v["cpu_pct_of_core"] / n, m["cpu_pct_of_core"], m["vm_hwm_kb"], m["vm_rss_kb"]
        }' "$work/results"
}

# PARALLEL_ANALYSE=DIR: only the figures of a run kept with E2E_BENCH_KEEP=1.
if [ -n "${PARALLEL_ANALYSE:-}" ]; then
    work=$PARALLEL_ANALYSE
    instances=$(ls -d "$work"/[0-9]* | wc -l)
    report
    exit
fi

work=$(mktemp -d /tmp/dralvo-parallel-XXXXXX)
sims=()
programs=()
finish() {
    for p in "${programs[@]}" "${sims[@]}"; do kill -TERM "$p" 2>/dev/null; done
    wait 2>/dev/null
    [ "${E2E_BENCH_KEEP:-0}" = 1 ] && echo "kept $work" >&2 || rm -rf "$work"
}
trap finish EXIT
trap 'exit 1' INT TERM

unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM # as on a machine without a display
for i in $(seq "$instances"); do
    d=$work/$i
    mkdir -p "$d/config/Oxatek" "$d/run" "$d/logs"
    chmod 700 "$d/run"
    printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Oxatek\\Dralvo_v1-7\\Port]\r\n"ComPort"="%s"\r\n"Baudrate"=dword:00000013\r\n\r\n' \
        "$d/tty" > "$d/config/Oxatek/user.reg"
    # The pulls of the instances are spread over the period, and each cable
    # stays out for its own time (100 to 400 ms).
    first=$(awk -v e="$every" -v i="$i" -v n="$instances" 'BEGIN { printf "%.3f", e * (i - 0.5) / n }')
    out=$(awk -v i="$i" -v n="$instances" 'BEGIN { printf "%.3f", 0.1 + 0.3 * (i - 1) / (n > 1 ? n - 1 : 1) }')
    "$gsmsim" --link "$d/tty" --period 0 --flood "$lines" --line-len "$len" --rate "$rate" \
        --tag "$(printf 'inst%02d' "$i")" --unplug-after "$first" --unplug-every "$every" \
        --replug-after "$out" > "$d/gsmsim.out" 2> "$d/gsmsim.err" &
    sims+=($!)
done
for i in $(seq "$instances"); do
    d=$work/$i
    for _ in $(seq 100); do [ -L "$d/tty" ] && break; sleep 0.05; done
    XDG_CONFIG_HOME=$d/config XDG_CONFIG_DIRS=$d/none XDG_RUNTIME_DIR=$d/run \
        "$dralvo" --headless --name "bench$i" --log-dir "$d/logs" "$d/tty" 2> "$d/dralvo.err" &
    programs+=($!)
done
started=$(date +%s.%N)

# Until every module has printed all its lines, then a moment for the last ones.
for i in $(seq "$instances"); do
    until grep -q 'flood of' "$work/$i/gsmsim.err"; do
        kill -0 "${sims[$((i - 1))]}" 2>/dev/null || { echo "gsmsim $i ended early" >&2; exit 1; }
        sleep 1
    done
done
sleep 2
ended=$(date +%s.%N)
echo "$started $ended" > "$work/times"
tick=$(getconf CLK_TCK)
for i in $(seq "$instances"); do
    p=${programs[$((i - 1))]}
    read -r -a stat < <(sed 's/^.*) //' "/proc/$p/stat")
    echo "$(((stat[11] + stat[12]))) $(awk '/^VmHWM/ { print $2 }' "/proc/$p/status") $(awk '/^VmRSS/ { print $2 }' "/proc/$p/status")" \
        > "$work/$i/usage"
done
for p in "${programs[@]}"; do kill -TERM "$p"; done
for p in "${programs[@]}"; do wait "$p"; done
for p in "${sims[@]}"; do kill -TERM "$p"; done
for p in "${sims[@]}"; do wait "$p"; done
programs=()
sims=()

report
