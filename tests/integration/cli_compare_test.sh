#!/usr/bin/env bash
# vantrel-cli's comparisons against vantrel-sim: diff-config, write-config's dry run and its
# check after writing, and the --json documents parsed back.
set -uo pipefail
bin=$1
work=$(mktemp -d)
sim2=
trap 'kill $sim $sim2 2>/dev/null; wait $sim $sim2 2>/dev/null; rm -rf "$work"' EXIT

"$bin/vantrel-sim" --model Q4200 --serial 777 --unpaced --flow 0 --link "$work/port" \
  >"$work/sim.out" &
sim=$!
# The same unit but for one thing: it acknowledges writes of the tag number and keeps the old.
"$bin/vantrel-sim" --model Q4200 --serial 778 --unpaced --flow 0 --fault ignore-write=170 \
  --link "$work/stubborn" >"$work/sim2.out" &
sim2=$!
for _ in $(seq 100); do [ -e "$work/port" ] && [ -e "$work/stubborn" ] && break; sleep 0.05; done

failures=0
check() { # name expected actual
  if [ "$2" != "$3" ]; then
    echo "FAIL $1: expected [$2] got [$3]"
    failures=$((failures + 1))
  fi
}
unit() { "$bin/vantrel-cli" --settings "$work/settings.ini" --port "$work/port" "$@"; }
stubborn() { "$bin/vantrel-cli" --settings "$work/settings.ini" --port "$work/stubborn" "$@"; }
# A python expression over the JSON document on standard input, printed.
json() { python3 -c "import json, sys; d = json.load(sys.stdin); print($1)"; }

unit read-config -o "$work/template.cvc" 2>/dev/null
out=$(unit diff-config "$work/template.cvc" 2>/dev/null); status=$?
check "a unit matches its own file" "0 []" "$status [$out]"

sed -e 's/^\(TAG *=\).*/\14711/' -e 's/^\(BRIGHTNESS *=\).*/\12/' "$work/template.cvc" \
  >"$work/changed.cvc"
out=$(unit diff-config "$work/changed.cvc" 2>/dev/null); status=$?
check "differences status" 1 $status
check "differences in page order" "Display - Backlight Brightness: unit 20%, file 40%
Others - Tagnumber: unit 0000000, file 0004711" "$out"

check "diff-config json" "True|2|Others|Tagnumber|0000000|0004711|777" \
  "$(unit --json diff-config "$work/changed.cvc" 2>/dev/null |
    json "'|'.join(map(str, [d['differ'], len(d['differences'])] + [d['differences'][1][k] for k in ['page', 'parameter', 'unit', 'file']] + [d['serial']]))")"
check "diff-config json, none" "False []" \
  "$(unit --json diff-config "$work/template.cvc" 2>/dev/null | json "d['differ'], d['differences']" | tr -d '(),')"

out=$(unit write-config --dry-run "$work/changed.cvc" 2>/dev/null); status=$?
check "dry run status" 0 $status
check "dry run names the changes" "Others - Tagnumber: unit 0000000, file 0004711" \
  "$(echo "$out" | grep Tagnumber)"
check "dry run sends nothing" "0 00 00 00" "$(unit raw-read 170 3)"

printf 'garbage\r\n' >"$work/garbage.cvc"
out=$(unit diff-config "$work/garbage.cvc" 2>&1 >/dev/null); status=$?
check "garbage file" "1 Selected file is not valid for this model." "$status $(echo "$out" | tail -1)"
printf '[MODEL]\r\nID=R210-P_030105\r\n' >"$work/other.cvc"
out=$(unit diff-config "$work/other.cvc" 2>&1 >/dev/null); status=$?
check "another model's file" "1 Selected file is not valid for this model." \
  "$status $(echo "$out" | tail -1)"
out=$(unit diff-config "$work/absent.cvc" 2>&1 >/dev/null); status=$?
check "absent file" "1 Unable to load $work/absent.cvc" "$status $(echo "$out" | tail -1 | cut -d: -f1)"
unit diff-config 2>/dev/null; check "diff-config usage" 2 $?
unit --json read-config 2>/dev/null; check "json is not for read-config" 2 $?

# The check after writing: a unit that keeps its old tag number fails the write and is named.
out=$(stubborn write-config "$work/changed.cvc" 2>&1 >/dev/null); status=$?
check "unit that ignores a write" 1 $status
check "mismatch named" "Others - Tagnumber: sent 4711, read 0" "$(echo "$out" | grep '^Others - Tagnumber')"
check "mismatch message" "Some values were not written correctly. Please check the WriteLog:" \
  "$(echo "$out" | grep '^Some values' | head -1 | sed 's/WriteLog: .*/WriteLog:/')"
writelog=$(echo "$out" | grep -o '/[^ ]*/WriteLog[0-9-]*\.txt' | tail -1)
check "WriteLog line" "Others - Tagnumber, Value: 4711, Error: the unit holds 0" \
  "$(tr -d '\r' <"$writelog" 2>/dev/null | grep '^Others - Tagnumber')"
stubborn write-config --no-verify "$work/changed.cvc" 2>/dev/null
check "without the check" 0 $?

unit write-config "$work/changed.cvc" 2>/dev/null; check "checked write" 0 $?
check "the unit matches the file it got" "0" \
  "$(unit diff-config "$work/changed.cvc" >/dev/null 2>&1; echo $?)"

check "identify json" "777|Q4200|03:01:05|True|Q4200_030105" \
  "$(unit --json identify 2>/dev/null |
    json "'|'.join(str(d[k]) for k in ['serial', 'model', 'version', 'logger', 'model_version_key'])")"
out=$(unit --json values 2>/dev/null); status=$?
check "values json status" 0 $status
check "values json keys" "acc_total battery_status error_status flow_rate total" \
  "$(echo "$out" | json "' '.join(sorted(d))")"
check "a value's number, unit and text" "float str str" \
  "$(echo "$out" | json "' '.join(type(d['flow_rate'][k]).__name__ for k in ['number', 'unit', 'text'])")"
check "status as number and text" "1.0 None 1 - Battery power normal" \
  "$(echo "$out" | json "d['battery_status']['number'], d['battery_status']['unit'], d['battery_status']['text']" | tr -d "(),'")"
check "log-lists json" "0 RUNTIME LIST" \
  "$(unit --json log-lists 2>/dev/null | json "d['lists'][0]['index'], d['lists'][0]['name']" | tr -d "(),'")"

[ $failures -eq 0 ] && echo "all CLI comparison checks passed"
exit $failures
