#!/usr/bin/env bash
# Checks a built package as a user would meet it: unpacked into a scratch root, its programs
# run from there against its own simulated unit with a scratch home, so that where the
# settings and a ReadLog land is seen; the desktop entry, the AppStream metadata and the
# package itself validated; every option of vantrel-cli's help found in its manual page.
#   tests/package/check_package.sh build/vantrel_VERSION_ARCH.deb
set -uo pipefail
deb=$1
work=$(mktemp -d)
sim=
trap '[ -n "$sim" ] && kill $sim 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT

failures=0
fail() {
  echo "FAIL $*"
  failures=$((failures + 1))
}
check() { # name expected actual
  [ "$2" = "$3" ] || fail "$1: expected [$2] got [$3]"
}

root=$work/root
dpkg-deb -x "$deb" "$root" || { echo "FAIL cannot unpack $deb"; exit 1; }
bin=$root/usr/bin
for program in vantrel vantrel-cli vantrel-sim; do
  [ -x "$bin/$program" ] || fail "$program is not in usr/bin"
  [ -f "$root/usr/share/man/man1/$program.1.gz" ] || fail "no manual page for $program"
done
for size in 16 22 24 32 48 64 128 256; do
  [ -f "$root/usr/share/icons/hicolor/${size}x${size}/apps/vantrel.png" ] || fail "no ${size}px icon"
done
[ -f "$root/usr/share/icons/hicolor/scalable/apps/vantrel.svg" ] || fail "no scalable icon"

# A scratch user: nothing of the caller's own folders is read or written.
home=$work/home
mkdir -p "$home"
as_user() { env -u XDG_CONFIG_HOME -u XDG_STATE_HOME -u XDG_DATA_HOME HOME="$home" "$@"; }

as_user "$bin/vantrel-cli" --help >"$work/help.txt"
check "vantrel-cli --help status" 0 $?
grep -q '^Usage: vantrel-cli' "$work/help.txt" || fail "vantrel-cli --help prints no usage"

# Every option of the tool's help and of each verb's help, and every verb, in the manual page.
zcat "$root/usr/share/man/man1/vantrel-cli.1.gz" | sed 's/\\-/-/g' >"$work/man.txt"
verbs=$(sed -n '/^Verbs:/,$p' "$work/help.txt" | awk 'NR > 1 && $1 != "" {print $1}')
{
  cat "$work/help.txt"
  for verb in $verbs; do as_user "$bin/vantrel-cli" "$verb" --help; done
} >"$work/all-help.txt"
for option in $(grep -oE '(^|[][ ,(])--?[a-z][a-z0-9-]*' "$work/all-help.txt" | sed 's/^[][ ,(]*//' | sort -u); do
  grep -qF -- "$option" "$work/man.txt" || fail "option $option of --help is not in vantrel-cli(1)"
done
for verb in $verbs; do
  # A verb is the tag of an entry: ".B verb", ".BI verb …" or "\fBverb\fR …".
  grep -qE "^(\.B[IR]? |\\\\fB)$verb( |\\\\|\$)" "$work/man.txt" ||
    fail "verb $verb is not in vantrel-cli(1)"
done
[ -n "$verbs" ] || fail "no verbs found in vantrel-cli --help"

# The unpacked programs against each other. The unit refuses one parameter, so that Read
# device writes a ReadLog.
"$bin/vantrel-sim" --model Q4200 --serial 4242 --unpaced --fault exception --fault-register 14 \
  --link "$work/unit" >"$work/sim.out" &
sim=$!
for _ in $(seq 100); do [ -e "$work/unit" ] && break; sleep 0.05; done
mkdir -p "$home/.config/vantrel"
printf '[Ports]\r\nCOM9=%s\r\n' "$work/unit" >"$home/.config/vantrel/vantrel.ini"

out=$(cd "$work" && as_user "$bin/vantrel-cli" --port COM9 raw-read 165 3)
check "settings from the user's configuration folder" "4242 00 10 92" "$out"

(cd "$work" && as_user "$bin/vantrel-cli" --port COM9 read-config -o "$work/unit.cvc" \
  2>"$work/read.err")
check "read-config with a refused parameter" 1 $?
readlog=$(ls "$home"/.local/state/vantrel/ReadLog*.txt 2>/dev/null | head -1)
[ -n "$readlog" ] || fail "no ReadLog in ~/.local/state/vantrel"
grep -qF "Please check the ReadLog: $readlog" "$work/read.err" ||
  fail "the message does not name the ReadLog's full path: $(tail -1 "$work/read.err")"
written=$(find "$root" -newer "$deb" -type f | grep -v '\.gz$' | head -3)
check "nothing written into the installed tree" "" "$written"

# A per-user folder that cannot be created is named, and the tool still runs.
blocked=$work/blocked
mkdir -p "$blocked/.config/vantrel"
printf '[Ports]\r\nCOM9=%s\r\n' "$work/unit" >"$blocked/.config/vantrel/vantrel.ini"
: >"$blocked/.local"
(cd "$work" && env -u XDG_STATE_HOME HOME="$blocked" "$bin/vantrel-cli" --port COM9 \
  read-config -o "$work/blocked.cvc" 2>"$work/blocked.err")
check "read-config without a state folder" 1 $?
grep -qF "Unable to create the folder $blocked/.local/state/vantrel" "$work/blocked.err" ||
  fail "the state folder that cannot be created is not named: $(tail -1 "$work/blocked.err")"

kill $sim 2>/dev/null
wait $sim 2>/dev/null
sim=

desktop-file-validate "$root/usr/share/applications/vantrel.desktop" || fail "desktop entry"
for metainfo in "$root"/usr/share/metainfo/*.metainfo.xml; do
  appstreamcli validate --no-net --pedantic "$metainfo" >"$work/appstream.txt" 2>&1 ||
    { cat "$work/appstream.txt"; fail "AppStream metadata $(basename "$metainfo")"; }
done

# Lintian: errors fail; the warnings left are printed for the record.
lintian --tag-display-limit 0 "$deb" >"$work/lintian.txt" 2>&1
grep -E '^[EW]:' "$work/lintian.txt"
if grep -q '^E:' "$work/lintian.txt"; then fail "lintian reports errors"; fi

[ $failures -eq 0 ] && echo "all package checks passed"
exit $failures
