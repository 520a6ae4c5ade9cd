#!/usr/bin/env bash
# vantrel-cli's log verbs against vantrel-sim: the lists, a readout to standard output and to
# a file, and the ways they fail.
set -uo pipefail
bin=$1
work=$(mktemp -d)
sim=""
sim2=""
trap 'kill $sim $sim2 2>/dev/null; wait $sim $sim2 2>/dev/null; rm -rf "$work"' EXIT

# A unit with a logger at slave address 5, and one without a logger at 1.
"$bin/vantrel-sim" --model Q4200 --serial 12345 --logger --log-records 3 --address 5 \
  --unpaced --link "$work/port" >/dev/null &
sim=$!
"$bin/vantrel-sim" --model R210-P --serial 777 --no-logger --unpaced --link "$work/plain" \
  >/dev/null &
sim2=$!
for _ in $(seq 100); do [ -e "$work/port" ] && [ -e "$work/plain" ] && break; sleep 0.05; done

failures=0
check() { # name expected actual
  if [ "$2" != "$3" ]; then
    echo "FAIL $1: expected [$2] got [$3]"
    failures=$((failures + 1))
  fi
}
cli() { "$bin/vantrel-cli" --settings "$work/settings.ini" --port "$work/port" --slave 5 "$@"; }

check "lists" "0	RUNTIME LIST
1	EVENT LIST
2	ALARM LIST" "$(cli log-lists)"

out=$(cli log-read 0); status=$?
check "read status" 0 $status
check "read lines" 11 "$(echo "$out" | wc -l)"
check "first line" "Readout of RUNTIME LIST for s/n 0012345 at " "$(echo "$out" | head -1 | cut -c1-43)"
check "header" "## read;DATE;TIME;FLOWRATE;TOTAL" "$(echo "$out" | sed -n 4p)"
check "end of list" "0000004;NO RECORD FOUND" "$(echo "$out" | sed -n 8p)"
check "retries" "Total number of retries: 0" "$(echo "$out" | tail -1)"

out=$(cli log-read 2 -o "$work/alarms.csv"); status=$?
check "save status" 0 $status
check "nothing on stdout" "" "$out"
check "file lines" 8 "$(wc -l <"$work/alarms.csv")"
check "CR LF lines" 8 "$(grep -c $'\r$' "$work/alarms.csv")"
check "empty list" "0000001;NO RECORD FOUND" "$(sed -n 5p "$work/alarms.csv" | tr -d '\r')"

out=$(cli log-read 7 2>&1); status=$?
check "absent list status" 1 $status
check "absent list message" "The unit has no log list 7." "$out"

out=$(cli log-read 0 -o "$work/no/such/folder/x.csv" 2>&1); status=$?
check "unwritable file status" 1 $status
check "no file" "no" "$([ -e "$work/no/such/folder/x.csv" ] && echo yes || echo no)"

cli log-read 2>/dev/null; check "missing index" 2 $?
cli log-read x 2>/dev/null; check "bad index" 2 $?
cli log-read 0 -o 2>/dev/null; check "-o without file" 2 $?
cli log-lists extra 2>/dev/null; check "log-lists arguments" 2 $?

# The readout goes to the configured slave: at address 1 nobody answers.
out=$(cli --slave 1 --tries 1 --timeout 50 log-lists 2>&1); status=$?
check "wrong slave status" 1 $status
check "wrong slave message" "No log lists were found on the unit.
Last Result: Response Timed Out" "$out"

out=$("$bin/vantrel-cli" --settings "$work/settings.ini" --port "$work/plain" log-lists 2>&1)
status=$?
check "no logger status" 1 $status
check "no logger message" "No log lists were found on the unit." "$(echo "$out" | head -1)"

[ $failures -eq 0 ] && echo "all CLI log checks passed"
exit $failures
