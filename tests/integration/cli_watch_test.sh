#!/usr/bin/env bash
# vantrel-cli values against vantrel-sim with its moving flow: the units beside the values,
# --watch's CSV read back (header, fields, the interval between samples), Ctrl+C, a unit that
# goes away, and the command lines refused.
set -uo pipefail
bin=$1
work=$(mktemp -d)
sim=""
trap 'kill $sim 2>/dev/null; wait $sim 2>/dev/null; rm -rf "$work"' EXIT

"$bin/vantrel-sim" --model Q4200 --serial 12345 --unpaced --link "$work/port" >/dev/null &
sim=$!
for _ in $(seq 100); do [ -e "$work/port" ] && break; sleep 0.05; done

failures=0
check() { # name expected actual
  if [ "$2" != "$3" ]; then
    echo "FAIL $1: expected [$2] got [$3]"
    failures=$((failures + 1))
  fi
}
cli() { "$bin/vantrel-cli" --settings "$work/settings.ini" --port "$work/port" "$@"; }

out=$(cli values 2>/dev/null); status=$?
check "values status" 0 $status
check "flow rate unit" "yes" "$(echo "$out" | grep -Eq '^Flow rate: [0-9]+\.[0-9]+ mL/Sec$' && echo yes || echo "$out")"
check "total unit" "yes" "$(echo "$out" | grep -Eq '^Total: [0-9.]+ US GAL$' && echo yes || echo "$out")"
check "acc. total unit" "yes" "$(echo "$out" | grep -Eq '^Acc. total: [0-9.]+ US GAL$' && echo yes || echo "$out")"

# Five samples at 0.2 s: the header, then one line each, every field where it belongs.
cli values --watch 0.2 --count 5 >"$work/watch.csv" 2>"$work/err.txt"; status=$?
check "watch status" 0 $status
check "watch header" "Time,Flow rate,Total,Acc. total,Battery status,Error status,Flow rate unit,Total unit" \
  "$(head -1 "$work/watch.csv")"
check "watch lines" 6 "$(wc -l <"$work/watch.csv")"
check "watch fields" "8 8 8 8 8" "$(tail -n +2 "$work/watch.csv" | awk -F, '{printf "%s%d", (NR > 1 ? " " : ""), NF}')"
check "watch units" "mL/Sec,US GAL" "$(tail -1 "$work/watch.csv" | cut -d, -f7-)"
check "watch numbers" "" "$(tail -n +2 "$work/watch.csv" | cut -d, -f2-4 | grep -Ev '^[0-9]+\.[0-9]+,[0-9.]+,[0-9.]+$')"
# The samples keep the beat: 200 ms apart, give or take a loaded machine.
gaps=$(tail -n +2 "$work/watch.csv" | cut -d, -f1 | awk '{split($2,t,":"); ms=(t[1]*3600+t[2]*60+t[3])*1000;
  if (NR > 1) printf "%s%d", (NR > 2 ? " " : ""), ms - last; last = ms}')
check "watch interval" "yes" "$(echo "$gaps" | awk '{ok=1; for(i=1;i<=NF;i++) if($i<150||$i>400) ok=0; print ok?"yes":$0}')"
check "watch moves" "yes" "$(tail -n +2 "$work/watch.csv" | cut -d, -f2 | sort -u | wc -l | awk '{print ($1 > 1 ? "yes" : "no")}')"

# Ctrl+C ends a watch without a count cleanly; every line taken is out whole.
# The program itself in the background, not the function: a signal goes to it, not to a shell.
"$bin/vantrel-cli" --settings "$work/settings.ini" --port "$work/port" values --watch 0.2 \
  >"$work/int.csv" 2>"$work/int.err" &
watcher=$!
for _ in $(seq 100); do [ "$(wc -l <"$work/int.csv")" -ge 3 ] && break; sleep 0.05; done
kill -INT $watcher; wait $watcher; status=$?
check "interrupt status" 0 $status
check "interrupt lines whole" "" "$(tail -n +2 "$work/int.csv" | awk -F, 'NF!=8')"
check "interrupt lines flushed" "yes" "$([ "$(wc -l <"$work/int.csv")" -ge 3 ] && echo yes || echo no)"

# Usage errors.
cli values --count 3 2>/dev/null; check "count without watch" 2 $?
cli values --watch 0 2>/dev/null; check "watch zero" 2 $?
cli values --watch -1 2>/dev/null; check "watch negative" 2 $?
cli values --watch 1.2345 2>/dev/null; check "watch too fine" 2 $?
cli values --watch 2 --count 0 2>/dev/null; check "count zero" 2 $?
cli identify --watch 1 2>/dev/null; check "watch on another verb" 2 $?

# The unit goes away during a watch: gaps, then exit 1 with why.
"$bin/vantrel-cli" --settings "$work/settings.ini" --port "$work/port" --tries 1 --timeout 50 \
  values --watch 0.1 >"$work/gone.csv" 2>"$work/gone.err" &
watcher=$!
for _ in $(seq 100); do [ "$(wc -l <"$work/gone.csv")" -ge 3 ] && break; sleep 0.05; done
kill $sim; wait $sim 2>/dev/null; sim=""
for _ in $(seq 100); do kill -0 $watcher 2>/dev/null || break; sleep 0.05; done
kill -0 $watcher 2>/dev/null && { kill $watcher; echo "FAIL gone: the watch did not end"; failures=$((failures + 1)); }
wait $watcher; status=$?
check "gone status" 1 $status
check "gone last line" "values: failed, the unit stopped answering." "$(tail -1 "$work/gone.err")"
check "gone lines whole" "" "$(tail -n +2 "$work/gone.csv" | awk -F, 'NF!=8')"

if [ $failures -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks passed"
