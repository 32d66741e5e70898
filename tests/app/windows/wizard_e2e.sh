#!/usr/bin/env bash
# The installer and vantrel-collector.exe under Wine against the Linux reference service on
# 127.0.0.1: `msiexec /i` with the service's address; a subscriber's run and an evaluating user's
# run driven by keys into the installed wizard's window; what the service stored (the fixture
# program from Wine's uninstall key, Wine's hardware, the evaluation username the last page
# showed, copied from it); then `msiexec /x`, which keeps the settings, and `msiexec /i` again,
# which keeps them too. Needs a display (scripts/windows-test runs ctest under Xvfb). Every wait
# is bounded.
#
#   wizard_e2e.sh MSI VANTREL-DATASERVICE [SHOTS_DIR]
#
# VANTREL_E2E_PROGRAMS=N adds N more uninstall entries: a timing run (the driver prints how long
# the run took).
set -euo pipefail
msi="$1"
service="$2"
shots="${3:-}"
here="$(cd "$(dirname "$0")/../../.." && pwd)"
wine=/usr/lib/wine/wine64
fail() { echo "wizard_e2e: FAILED: $*" >&2; exit 1; }
note() { echo "wizard_e2e: $*"; }
[ -x "$service" ] || { note "$service was not built; skipped"; exit 0; }
[ -n "${WINEPREFIX:-}" ] || fail "no WINEPREFIX"
[ -n "${DISPLAY:-}" ] || fail "no display: run under xvfb-run"

work="$(mktemp -d)"
uninstall='HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall'
installed="$WINEPREFIX/drive_c/Program Files/Vantrel Collector"
# The Start-menu entry: Wine puts an all-users entry in its user's menu.
shortcut() { find "$WINEPREFIX/drive_c" -path '*/Start Menu/Programs/Vantrel Collector.lnk' | head -n1; }
. "$here/scripts/lib/local-service.sh"
cleanup() {
  stop_local_service
  "$wine" msiexec /x "$(winpath "$msi")" /qn > /dev/null 2>&1 || true
  "$wine" reg delete 'HKLM\Software\Vantrel' /reg:64 /f > /dev/null 2>&1 || true
  "$wine" reg delete "$uninstall\\VantrelE2E" /reg:64 /f > /dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
winpath() { printf 'Z:%s' "${1//\//\\}"; }  # Wine's drive Z: is the Linux root
settings() {  # settings NAME: the value in the settings key, as reg.exe prints it
  "$wine" reg query 'HKLM\Software\Vantrel' /v "$1" /reg:64 2>/dev/null | tr -d '\r' |
    sed -n "s/^ *$1 *REG_[A-Z_]* *//p"
}

printf '%s\n' 's3cret pw&=' | "$service" --db "$work/db" add-account alice - > /dev/null
start_local_service "$work/db" "$work/service.log"
base="$service_address"

# Installed as an administrator would: silently, with the service's address.
"$wine" msiexec /i "$(winpath "$msi")" SERVERPATH="$base" /qn > "$work/msiexec.log" 2>&1 ||
  fail "msiexec /i: $(cat "$work/msiexec.log")"
for f in vantrel-collector.exe vantrel-collect.exe; do [ -f "$installed/$f" ] || fail "$f was not installed"; done
[ -n "$(shortcut)" ] || fail "no Start-menu entry"
[ "$(settings ServerPath)" = "$base" ] || fail "ServerPath is \"$(settings ServerPath)\", not $base"
note "installed; ServerPath $base"

# The fixture program, and for a timing run as many more, in one import.
{
  printf 'Windows Registry Editor Version 5.00\r\n\r\n'
  printf '[%s\\VantrelE2E]\r\n"DisplayName"="Vantrel Fixture Tool"\r\n"DisplayVersion"="4.2"\r\n\r\n' "$uninstall"
  for i in $(seq -w 1 "${VANTREL_E2E_PROGRAMS:-0}"); do
    printf '[%s\\VantrelE2E%s]\r\n"DisplayName"="Fixture Program %s"\r\n\r\n' "$uninstall" "$i" "$i"
  done
} > "$work/fixture.reg"
"$wine" regedit /s "$(winpath "$work/fixture.reg")" > /dev/null 2>&1 || fail "regedit /s"

# A run each, by keys into the installed wizard; Finish hands the profile page to Wine's browser
# hand-off, which calls xdg-open: a stand-in records it.
stand_in_opener "$work/bin" "$work/opened"
drive() {  # drive USER PASSWORD OUT [COPY]: one run of the installed wizard
  VANTREL_SCREENSHOT_COPY="${4:-}" VANTREL_SETTLE_SECONDS=300 VANTREL_SCREENSHOT_WORK="$work" VANTREL_SCREENSHOT_USER="$1" VANTREL_SCREENSHOT_PASSWORD="$2" \
    timeout 300 "$here/scripts/lib/drive-wizard" "$installed/vantrel-collector.exe" "$3" ||
    { cat "$work/collector.log" >&2; fail "the wizard's run${1:+ as $1}"; }
}
drive alice 's3cret pw&=' "$work/subscriber"
drive "" "" "$work/evaluation" "$work/evaluation-progress.txt"
if [ -n "$shots" ]; then
  mkdir -p "$shots"
  cp "$work/subscriber"/*.png "$shots/"
  cp "$work/evaluation/3-progress.png" "$shots/3-progress-evaluation.png"
fi
grep -q 'profile/hwsw.asp' "$work/opened" 2>/dev/null || fail "Finish handed nothing to the browser"

stop_local_service
"$service" --db "$work/db" list-items alice > "$work/items"
echo "wizard_e2e: stored for alice ($(wc -l < "$work/items") items), the first 20:"; head -n 20 "$work/items" | sed 's/^/    /'
grep -qx $'Software\tVantrel Fixture Tool v4.2' "$work/items" || fail "the fixture program was not stored"
for category in OS BIOS MMS; do
  grep -q "^$category"$'\t' "$work/items" || fail "no $category item from Wine's instrumentation"
done
grep -q $'^OS\t.*Windows' "$work/items" || fail "the operating system is not Wine's Windows"

# The evaluation username: the one registered, holding the same inventory, and the one the
# progress page showed.
"$service" --db "$work/db" list-journal > "$work/journal"
eval_id="$(awk -F'\t' '$4 ~ /gettemp\.asp$/ { sub(/^TempID=/, "", $5); id = $5 } END { print id }' "$work/journal")"
[ ${#eval_id} = 9 ] || fail "no evaluation username was registered: $(grep -c . "$work/journal") journal lines"
"$service" --db "$work/db" list-items "$eval_id" > "$work/eval-items"
diff <(cut -f1 "$work/items" | sort) <(cut -f1 "$work/eval-items" | sort) > /dev/null ||
  fail "the evaluation run stored other categories than the subscriber's"
# The progress line as the page holds it: selected and copied there, read off the X clipboard,
# which Wine keeps in step with its own.
shown="$(tr -d '\r\0' < "$work/evaluation-progress.txt")"
expected="The Hardware and Software Collection Is Complete. Your evaluation Username is $eval_id. Please write down this username now."
[ "$shown" = "$expected" ] || fail "the last page showed \"$shown\", not $eval_id"
note "the evaluation username $eval_id was shown and holds $(wc -l < "$work/eval-items") items"

# A change of the administrator's, then the removal: the programs and the menu entry go, the
# settings stay.
"$wine" reg add 'HKLM\Software\Vantrel' /v ServerPath /d 'https://vantrel.example.org/' /reg:64 /f > /dev/null 2>&1
"$wine" msiexec /x "$(winpath "$msi")" /qn > "$work/msiexec.log" 2>&1 ||
  fail "msiexec /x: $(cat "$work/msiexec.log")"
[ ! -e "$installed/vantrel-collector.exe" ] && [ ! -e "$installed/vantrel-collect.exe" ] ||
  fail "msiexec /x left the programs"
[ -z "$(shortcut)" ] || fail "msiexec /x left the Start-menu entry"
[ "$(settings ServerPath)" = 'https://vantrel.example.org/' ] || fail "msiexec /x did not keep the settings"
# Installed again without an address: the one set stays.
"$wine" msiexec /i "$(winpath "$msi")" /qn > "$work/msiexec.log" 2>&1 || fail "msiexec /i again: $(cat "$work/msiexec.log")"
[ "$(settings ServerPath)" = 'https://vantrel.example.org/' ] || fail "a reinstallation replaced the address"
note "passed"
