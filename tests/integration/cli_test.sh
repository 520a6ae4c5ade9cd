#!/usr/bin/env bash
# vantrel-cli against vantrel-sim: outputs, exit statuses and messages.
set -uo pipefail
bin=$1
work=$(mktemp -d)
sim2=
sim3=
trap 'kill $sim $sim2 $sim3 2>/dev/null; wait $sim $sim2 $sim3 2>/dev/null; rm -rf "$work"' EXIT

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

# --log-traffic: one line a frame, tab separated: time, direction, address, function, frame,
# meaning, round trip.
out=$(cli --log-traffic raw-read 165 3 2>&1 >/dev/null)
check "traffic request" "request|1|3|01 03 00 A5 00 02 D4 28|read 2 registers from 165|" \
  "$(echo "$out" | head -1 | cut -f2- | tr '\t' '|')"
check "traffic answer" "answer|1|3|values: 0000 D431" \
  "$(echo "$out" | sed -n 2p | cut -f2,3,4,6 | tr '\t' '|')"
check "traffic time" "1" "$(echo "$out" | head -1 | grep -cE '^[0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3}	')"
out=$(cli --log-traffic --slave 9 --tries 2 --timeout 50 raw-read 165 3 2>&1 >/dev/null)
check "traffic time-outs" "request|no answer|request|no answer" \
  "$(echo "$out" | grep -E '^[0-9]' | cut -f2 | paste -sd'|')"
check "traffic time-out meaning" "time-out: no answer within 50 ms" "$(echo "$out" | sed -n 2p | cut -f6)"
out=$(cli --log-traffic raw-read 9000 2 2>&1 >/dev/null)
check "traffic exception" "exception 2: Illegal data address" "$(echo "$out" | sed -n 2p | cut -f6)"

cli raw-read 165 2>/dev/null; check "missing argument" 2 $?
cli raw-read 165 255 2>/dev/null; check "byte count" 2 $?
cli raw-write 14 1 256 2>/dev/null; check "value too large" 2 $?
"$bin/vantrel-cli" --baud 300 ports 2>/dev/null; check "bad baud" 2 $?
"$bin/vantrel-cli" frobnicate 2>/dev/null; check "unknown verb" 2 $?
out=$("$bin/vantrel-cli" --settings "$work/settings.ini" --port "$work/absent" raw-read 1 1 2>&1)
check "absent port" 1 $?
# The error names the port as it was given, not the number it got for the run.
check "absent port message" "vantrel-cli: unable to open $work/absent: $work/absent is not present." "$out"
out=$("$bin/vantrel-cli" --settings "$work/settings.ini" --port COM200 raw-read 1 1 2>&1)
check "absent number message" "vantrel-cli: unable to open COM200: COM200 is not present." "$out"
"$bin/vantrel-cli" raw-read --help >/dev/null; check "verb help" 0 $?

# A port number from the settings file's [Ports] section and its [Modbus] section.
printf '[Modbus]\r\nPort=COM7\r\nProtocol=RTU\r\nSpeed=9600\r\n[Ports]\r\nCOM7=%s\r\n' \
  "$work/port" >"$work/numbered.ini"
check "settings port" "54321 00 D4 31" \
  "$("$bin/vantrel-cli" --settings "$work/numbered.ini" raw-read 165 3)"
check "ports verb" "COM7	$work/port" \
  "$("$bin/vantrel-cli" --settings "$work/numbered.ini" ports | grep COM7 | cut -f1,2)"

# The device verbs against a Q4200 with its logger whose flow stands still, so that a cleared
# total stays 0.
"$bin/vantrel-sim" --model Q4200 --serial 12345 --unpaced --flow 0 --reboot-ms 200 \
  --link "$work/q4200" >"$work/sim2.out" &
sim2=$!
for _ in $(seq 100); do [ -e "$work/q4200" ] && break; sleep 0.05; done
unit() { "$bin/vantrel-cli" --settings "$work/settings.ini" --port "$work/q4200" "$@"; }
# The key = value lines of a configuration file, without its header.
settings_of() { sed -n '/^\[/,$p' "$1" | tr -d '\r'; }

check "identify" "Serial number: 0012345
Model: Q4200
Version: 03:01:05
Data logger: yes
Model-version key: Q4200_030105" "$(unit identify 2>/dev/null)"

out=$(unit values 2>/dev/null); status=$?
check "values status" 0 $status
check "values lines" "Flow rate|Total|Acc. total|Battery status|Error status" \
  "$(echo "$out" | cut -d: -f1 | paste -sd'|')"
check "battery" "Battery status: 1 - Battery power normal" "$(echo "$out" | grep Battery)"

# Every verb prints its frames: each request of a good line with its answer.
for verb in identify values; do
  out=$(unit --log-traffic $verb 2>&1 >/dev/null)
  requests=$(echo "$out" | cut -f2 | grep -c '^request$')
  answers=$(echo "$out" | cut -f2 | grep -c '^answer$')
  check "$verb traffic" "yes $requests" "$([ "$requests" -gt 3 ] && echo yes) $answers"
done
out=$(unit --log-traffic clear-total 2>&1 >/dev/null)
check "clear-total traffic writes" "yes" \
  "$([ "$(echo "$out" | cut -f6 | grep -c '^write ')" -ge 1 ] && echo yes)"
# The frames come as the transactions happen, before the run's own last words.
out=$(unit --log-traffic read-config -o "$work/traffic.cvc" 2>&1 >/dev/null)
check "read-config traffic before its status" "yes" "$(echo "$out" | awk -F'\t' '
  $2 == "request" && !seen { first = NR; seen = 1 }
  /^Status: values were read correctly/ { status = NR }
  END { if (seen && first < status) print "yes" }')"
check "read-config status last" "read-config: the configuration was read" \
  "$(echo "$out" | tail -1 | cut -c1-39)"

unit clear-total 2>/dev/null; check "clear-total status" 0 $?
check "total cleared" "Total: 0.0 US GAL" "$(unit values 2>/dev/null | grep '^Total:')"

unit read-config -o "$work/read.cvc" 2>"$work/progress.txt"; check "read-config status" 0 $?
check "read-config progress" "Status: values were read correctly from the device.
read-config: the configuration was read from the unit. Saved to $work/read.cvc." \
  "$(tail -2 "$work/progress.txt")"
check "read-config to stdout" "$(settings_of "$work/read.cvc")" \
  "$(unit read-config 2>/dev/null >"$work/stdout.cvc"; settings_of "$work/stdout.cvc")"
# A changed value goes to the unit and comes back.
sed 's/^\(TAG *=\).*/\14711/' "$work/read.cvc" >"$work/changed.cvc"
unit write-config "$work/changed.cvc" 2>"$work/progress.txt"; check "write-config status" 0 $?
check "write-config progress" "Status: values were written correctly to the device." \
  "$(tail -1 "$work/progress.txt")"
unit read-config -o "$work/back.cvc" 2>/dev/null
# What the unit holds comes back as it is, but for the analog filter, whose 0 goes out as 1.
check "filter read as held" "FILTER         =0" "$(settings_of "$work/changed.cvc" | grep '^FILTER')"
check "round trip" "$(settings_of "$work/changed.cvc" | sed 's/^FILTER \( *\)=0$/FILTER \1=1/')" \
  "$(settings_of "$work/back.cvc")"
printf '[MODEL]\r\nID=R210-P_030105\r\n' >"$work/other.cvc"
out=$(unit write-config "$work/other.cvc" 2>&1 >/dev/null); status=$?
check "other model's file" "1 Selected file is not valid for this model." "$status $(echo "$out" | tail -1)"

check "restart" "0 []" "$(out=$(unit restart 2>/dev/null); echo "$? [$out]")"
check "factory-reset" "0 []" "$(out=$(unit factory-reset 2>/dev/null); echo "$? [$out]")"
check "factory settings" "TAG            =0" "$(unit read-config 2>/dev/null | tr -d '\r' | grep '^TAG')"

out=$(unit --slave 9 --tries 1 --timeout 50 identify 2>&1); status=$?
check "silent unit status" 1 $status
check "silent unit message" "There was no device found.
Last Result: Response Timed Out" "$out"
unit identify extra 2>/dev/null; check "identify usage" 2 $?
unit write-config 2>/dev/null; check "write-config usage" 2 $?
unit read-config -o 2>/dev/null; check "read-config usage" 2 $?
unit --configure-as R999-X identify 2>/dev/null; check "configure-as usage" 2 $?

# A unit that refuses one parameter: read-config ends with one line that says it failed and
# where its ReadLog is, beside the settings file named on the command line.
mkdir -p "$work/elsewhere"
"$bin/vantrel-sim" --model Q4200 --serial 4242 --unpaced --fault exception --fault-register 14 \
  --link "$work/faulty" >"$work/sim3.out" &
sim3=$!
for _ in $(seq 100); do [ -e "$work/faulty" ] && break; sleep 0.05; done
(cd "$work/elsewhere" && "$bin/vantrel-cli" --settings "$work/faulty.ini" --port "$work/faulty" \
  read-config -o "$work/faulty.cvc" 2>"$work/faulty.err"); status=$?
kill $sim3 2>/dev/null; wait $sim3 2>/dev/null
check "failed read-config status" 1 $status
readlog=$(ls "$work"/ReadLog*.txt 2>/dev/null | head -1)
check "ReadLog beside the settings" "yes" "$([ -n "$readlog" ] && echo yes || echo no)"
check "no ReadLog where it was started" "" "$(ls "$work/elsewhere" "$bin" | grep ReadLog)"
check "failed read-config last line" \
  "read-config: failed, some values were not read correctly and nothing was saved. Please check the ReadLog: $readlog" \
  "$(tail -1 "$work/faulty.err")"
check "nothing saved" "no" "$([ -e "$work/faulty.cvc" ] && echo yes || echo no)"

[ $failures -eq 0 ] && echo "all CLI checks passed"
exit $failures
