#!/usr/bin/env bash
# One check of the serial lab as a test of its own: reads what the lab's run
# (vmlab_boot) reported for it.
#   tests/vm/vmlab-result.sh OUT_DIR Suite.Check
# 0 passed, 1 failed or not run, 77 skipped (the lab could not run here).
set -u
out=$1
check=$2
if [ -f "$out/skipped" ]; then
  echo "skipped: $(cat "$out/skipped")"
  exit 77
fi
xml="$out/results.xml"
if [ ! -f "$xml" ]; then
  echo "the lab left no report ($xml); see vmlab_boot"
  exit 1
fi
suite=${check%%.*}
name=${check#*.}
# The report's entry for the check: its testcase element up to its end.
entry=$(awk -v s="$suite" -v n="$name" '
  $0 ~ "<testcase name=\"" n "\"" && $0 ~ "classname=\"" s "\"" { on = 1 }
  on { print }
  on && ($0 ~ "</testcase>" || $0 ~ "/>$") { exit }' "$xml")
if [ -z "$entry" ]; then
  echo "$check did not run in the lab"
  exit 1
fi
echo "$entry" | sed -n 's/.*<property name="figures" value="\([^"]*\)".*/\1/p' | sed 's/&quot;/"/g'
if echo "$entry" | grep -q '<failure'; then
  echo "$entry" | sed -n '/<failure/,/<\/failure>/p' | sed 's/&quot;/"/g; s/&lt;/</g; s/&gt;/>/g; s/&amp;/\&/g'
  exit 1
fi
if echo "$entry" | grep -q 'result="skipped"'; then
  echo "$check was skipped in the lab"
  echo "$entry" | sed -n 's/.*<skipped message="\([^"]*\)".*/\1/p'
  exit 77
fi
echo "$check passed in the lab"
