#!/usr/bin/env bash
# vantrel-cli scan against vantrel-sim: the unit found at a speed, framing and address not
# tried first, nothing found, the progress line on a terminal, and wrong command lines.
set -uo pipefail
bin=$1
work=$(mktemp -d)
trap 'kill $sim 2>/dev/null; wait $sim 2>/dev/null; rm -rf "$work"' EXIT

"$bin/vantrel-sim" --model Q4200 --serial 4242424 --address 17 --baud 19200 --ascii --unpaced \
  --link "$work/port" >"$work/sim.out" &
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

out=$(cli scan --bauds 9600,19200 --addresses 12-20 2>"$work/err"); status=$?
check "found status" 0 $status
check "found line" "19200 8N1 ASCII address 17: Q4200 serial 4242424 version 03:01:05" "$out"
check "no progress off a terminal" "" "$(cat "$work/err")"

# The same as one JSON document for scripts.
out=$(cli --json scan --bauds 19200 --framing ascii --addresses 16-18 --all 2>/dev/null); status=$?
check "json status" 0 $status
check "json unit" "19200 8 N 1 ASCII 17 Q4200 4242424 03:01:05 1" "$(echo "$out" | python3 -c '
import json, sys
d = json.load(sys.stdin)
u = d["units"][0]
print(u["baud"], u["data_bits"], u["parity"], u["stop_bits"], u["framing"], u["address"],
      u["model"], u["serial"], u["version"], len(d["units"]))')"

out=$(cli scan --bauds 9600 --framing rtu --addresses 1-4 --all 2>&1 >/dev/null); status=$?
check "none status" 1 $status
check "none message" "No unit found." "$out"

# On a terminal the progress line shows the probes done and the settings being tried.
if command -v script >/dev/null; then
  script -qec "$bin/vantrel-cli --settings $work/settings.ini --port $work/port scan --bauds 19200 --framing ascii --addresses 16-17 2>&1 >/dev/null" \
    "$work/typescript" >/dev/null
  check "progress on a terminal" "yes" \
    "$(grep -q '1 of 2, 19200 8N1 ASCII address 17' "$work/typescript" && echo yes || echo no)"
fi

for args in "--framing serial" "--addresses 20-10" "--addresses 0-5" "--bauds 300" "--bauds" \
            "extra" "--addresses 1-2-3"; do
  # shellcheck disable=SC2086
  cli scan $args >/dev/null 2>&1; check "usage: scan $args" 2 $?
done
cli --data-bits 7 scan --framing rtu >/dev/null 2>&1; check "usage: 7 bits with RTU" 2 $?

[ $failures -eq 0 ] && echo "all scan checks passed"
exit $failures
