#!/usr/bin/env bash
# vantrel-cli against vantrel-sim: outputs, exit statuses and messages.
set -uo pipefail
bin=$1
work=$(mktemp -d)
trap 'kill $sim 2>/dev/null; wait $sim 2>/dev/null; rm -rf "$work"' EXIT

"$bin/vantrel-sim" --model R212-P --serial 54321 --link "$work/port" >"$work/sim.out" &
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

check "serial" "54321 00 D4 31" "$(cli raw-read 165 3)"
check "model code" "212 00 D4" "$(cli raw-read 160 2)"
cli raw-write 170 3 0x12345; check "write status" 0 $?
check "read back" "74565 01 23 45" "$(cli raw-read 170 3)"
cli raw-write 14 2 -1; check "negative write" "65535 FF FF" "$(cli raw-read 14 2)"

out=$(cli --slave 9 --tries 1 --timeout 50 raw-read 165 3 2>&1); status=$?
check "timeout status" 1 $status
check "timeout message" "Read of register 165 failed.
Last Result: Response Timed Out" "$out"

out=$(cli raw-read 9000 2 2>&1); status=$?
check "exception status" 1 $status
check "exception message" "Last Result: Reading not possible (ErrorCode: 2)" "$(echo "$out" | tail -1)"

out=$(cli --log-traffic raw-read 165 3 2>&1 >/dev/null)
check "traffic log" "S= 01 03 00 A5 00 02 D4 28 " "$(echo "$out" | head -1)"

cli raw-read 165 2>/dev/null; check "missing argument" 2 $?
cli raw-read 165 255 2>/dev/null; check "byte count" 2 $?
cli raw-write 14 1 256 2>/dev/null; check "value too large" 2 $?
"$bin/vantrel-cli" --baud 300 ports 2>/dev/null; check "bad baud" 2 $?
"$bin/vantrel-cli" frobnicate 2>/dev/null; check "unknown verb" 2 $?
"$bin/vantrel-cli" --settings "$work/settings.ini" --port "$work/absent" raw-read 1 1 2>/dev/null
check "absent port" 1 $?
"$bin/vantrel-cli" raw-read --help >/dev/null; check "verb help" 0 $?

# A port number from the settings file's [Ports] section and its [Modbus] section.
printf '[Modbus]\r\nPort=COM7\r\nProtocol=RTU\r\nSpeed=9600\r\n[Ports]\r\nCOM7=%s\r\n' \
  "$work/port" >"$work/numbered.ini"
check "settings port" "54321 00 D4 31" \
  "$("$bin/vantrel-cli" --settings "$work/numbered.ini" raw-read 165 3)"
check "ports verb" "COM7	$work/port" \
  "$("$bin/vantrel-cli" --settings "$work/numbered.ini" ports | grep COM7 | cut -f1,2)"

[ $failures -eq 0 ] && echo "all CLI checks passed"
exit $failures
