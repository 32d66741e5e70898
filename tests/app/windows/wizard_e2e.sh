#!/usr/bin/env bash
# The installer and vantrel-collector.exe under Wine against the Linux reference service on
# 127.0.0.1: `msiexec /i` with the service's address; a subscriber's run and an evaluating user's
# run driven by keys into the installed wizard's window; what the service stored (the fixture
# program from Wine's uninstall key, Wine's hardware, the evaluation username the last page
# showed); then `msiexec /x`, which keeps the settings, and `msiexec /i` again, which keeps them too. Needs a display (scripts/windows-test
# runs ctest under Xvfb). Every wait is bounded.
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
drive() {  # drive USER PASSWORD OUT: one run of the installed wizard
  VANTREL_SETTLE_SECONDS=300 VANTREL_SCREENSHOT_WORK="$work" VANTREL_SCREENSHOT_USER="$1" VANTREL_SCREENSHOT_PASSWORD="$2" \
    timeout 300 "$here/scripts/lib/drive-wizard" "$installed/vantrel-collector.exe" "$3" ||
    { cat "$work/collector.log" >&2; fail "the wizard's run${1:+ as $1}"; }
}
drive alice 's3cret pw&=' "$work/subscriber"
drive "" "" "$work/evaluation"
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
# progress page showed (read off its picture).
"$service" --db "$work/db" list-journal > "$work/journal"
eval_id="$(awk -F'\t' '$4 ~ /gettemp\.asp$/ { sub(/^TempID=/, "", $5); id = $5 } END { print id }' "$work/journal")"
[ ${#eval_id} = 9 ] || fail "no evaluation username was registered: $(grep -c . "$work/journal") journal lines"
"$service" --db "$work/db" list-items "$eval_id" > "$work/eval-items"
diff <(cut -f1 "$work/items" | sort) <(cut -f1 "$work/eval-items" | sort) > /dev/null ||
  fail "the evaluation run stored other categories than the subscriber's"
# OCR of Wine's 8-point text confuses glyphs of like shape (9 read as 3 or S, 8 as 2, S or B, A as 4,
# D as 0): both sides are compared with each such group folded into one character, and the picture
# is read at a few scales and thresholds, one reading of which must match. Another identifier of
# five hexadecimal characters still folds to the one shown with a chance of about 1 in 400.
read_shown() {
  local scale threshold
  for scale in 400 500 600; do
    for threshold in "" "-threshold 55%"; do
      # shellcheck disable=SC2086
      convert "$1" -crop 300x50+130+110 +repage -colorspace Gray -filter Lanczos -resize "$scale%" $threshold png:- |
        tesseract stdin stdout --psm 6 -c tessedit_char_whitelist="$(printf '%s' {A..Z} {a..z} {0..9}) ." 2> /dev/null |
        tr -s ' \n' ' ' | sed -n 's/.*Username is \(Eval[^.]*\)\..*/\1/p' | tr -d ' '
      echo
    done
  done
}
fold() { tr 'B86E9S5Z23DOQ0Il1A4' '6666666666000011144' <<< "$1"; }
readings="$(read_shown "$work/evaluation/3-progress.png")"
matched=""
while read -r shown; do
  if [ -n "$shown" ] && [ "$(fold "$shown")" = "$(fold "$eval_id")" ]; then matched="$shown"; fi
done <<< "$readings"
[ -n "$matched" ] || fail "the last page showed none of \"$(echo $readings)\" as $eval_id"
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
