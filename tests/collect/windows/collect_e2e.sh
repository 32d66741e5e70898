#!/usr/bin/env bash
# vantrel-collect.exe under Wine against the Linux reference service on 127.0.0.1: the settings
# and a fixture program in Wine's registry, the password on standard input, and again for a password
# outside ASCII typed at a terminal; then what the service journalled and stored. Every wait is
# bounded.
#
#   collect_e2e.sh VANTREL-COLLECT.EXE VANTREL-DATASERVICE
set -euo pipefail
exe="$1"
service="$2"
wine=/usr/lib/wine/wine64
fail() { echo "collect_e2e: FAILED: $*" >&2; exit 1; }
[ -x "$service" ] || { echo "collect_e2e: $service was not built; skipped"; exit 0; }
[ -n "${WINEPREFIX:-}" ] || fail "no WINEPREFIX"

work="$(mktemp -d)"
service_pid=""
cleanup() {
  [ -n "$service_pid" ] && kill "$service_pid" 2>/dev/null && wait "$service_pid" 2>/dev/null || true
  "$wine" reg delete 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\VantrelE2E' /reg:64 /f > /dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

"$service" --db "$work/db" add-account alice - <<< 's3cret pw&=' > /dev/null
typed=$'p\xc3\xa4ssw\xc3\xb6rd \xe2\x82\xac'  # "pässwörd €": none of it but the p in most code pages
"$service" --db "$work/db" add-account bob - <<< "$typed" > /dev/null
"$service" --db "$work/db" --port 0 > "$work/service.log" 2>&1 &
service_pid=$!
base=""
for i in $(seq 1 40); do
  base="$(sed -n 's/^listening on \(http:\/\/127\.0\.0\.1:[0-9]*\/\)$/\1/p' "$work/service.log")"
  [ -n "$base" ] && break
  sleep 0.25
done
[ -n "$base" ] || fail "the service did not start: $(cat "$work/service.log")"

reg() { "$wine" reg add "$@" /reg:64 /f > /dev/null 2>&1 || fail "reg add $*"; }
reg 'HKLM\Software\Vantrel' /v ServerPath /d "$base"
reg 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\VantrelE2E' /v DisplayName /d 'Vantrel Fixture Tool'
reg 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\VantrelE2E' /v DisplayVersion /d '4.2'

status=0
printf 's3cret pw&=\r\n' | timeout 120 "$wine" "$exe" --user alice > "$work/out" 2> "$work/err" || status=$?
[ "$status" = 0 ] || { cat "$work/err" "$work/out" >&2; fail "vantrel-collect.exe exited with $status"; }
out="$(tr -d '\r' < "$work/out")"
[ "$out" = "Your Hardware and Software Collection Is Complete" ] || fail "final text: $out"
grep -q 'Deleting your current VantrelNet Profile' "$work/err" || fail "no progress lines: $(cat "$work/err")"

# The same password typed at a console: Wine makes one only on a terminal, which script(1) gives,
# and turns the terminal's UTF-8 into keys. Typed once the prompt is there; the account is refused
# (status 3) when the console's code page stands between the keys and the request.
mkfifo "$work/keys"
LC_ALL=C.UTF-8 timeout 120 script -qec "$wine $exe --user bob --quiet" /dev/null < "$work/keys" > "$work/typed" 2>&1 &
typed_pid=$!
exec 3> "$work/keys"
for i in $(seq 1 300); do grep -q 'Password:' "$work/typed" && break; sleep 0.2; done
printf '%s\r' "$typed" >&3
status=0
wait "$typed_pid" || status=$?
exec 3>&-
[ "$status" = 0 ] || fail "the typed password: vantrel-collect.exe exited with $status"

kill "$service_pid"; wait "$service_pid" 2>/dev/null || true; service_pid=""
"$service" --db "$work/db" list-items alice > "$work/items"
"$service" --db "$work/db" list-journal > "$work/journal"
echo "collect_e2e: stored for alice:"; sed 's/^/    /' "$work/items"
grep -qx $'Software\tVantrel Fixture Tool v4.2' "$work/items" || fail "the fixture program was not stored"
for category in OS BIOS MMS; do
  grep -q "^$category"$'\t' "$work/items" || fail "no $category item from Wine's instrumentation"
done
grep -q $'^OS\t.*Windows' "$work/items" || fail "the operating system is not Wine's Windows"
# The journal's pages, in order: version, account, reset, ..., finalize last.
pages="$(grep -o '[A-Za-z]*\.asp' "$work/journal" | tr '\n' ' ')"
case "$pages" in "getversion.asp getdata.asp updatedata.asp "*"finalize.asp ") ;; *) fail "journal: $pages" ;; esac
echo "collect_e2e: passed"
