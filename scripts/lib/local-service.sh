# Shared by scripts/screenshot and scripts/demo: a fresh reference service on 127.0.0.1, the
# collector's settings hive pointing at it, and a stand-in for the desktop's opener.
# Expects $service (the vantrel-dataservice program) and a fail() function.

# start_local_service DB LOG: starts the service on a free port; sets service_pid and service_address.
start_local_service() {
  local db="$1" log="$2" i
  "$service" --db "$db" --port 0 > "$log" 2>&1 &
  service_pid=$!
  service_address=""
  for i in $(seq 1 40); do  # at most about 10 s to come up
    service_address="$(sed -n 's/^listening on \(http:\/\/127\.0\.0\.1:[0-9]*\/\)$/\1/p' "$log")"
    [ -n "$service_address" ] && return 0
    kill -0 "$service_pid" 2>/dev/null || break
    sleep 0.25
  done
  fail "the data service did not start: $(cat "$log")"
}

# stop_local_service: stops it again, if it runs.
stop_local_service() {
  if [ -n "${service_pid:-}" ]; then
    kill "$service_pid" 2>/dev/null && wait "$service_pid" 2>/dev/null || true
    service_pid=""
  fi
}

# write_settings_hive FILE ADDRESS: the registry hive with the Software\Vantrel key.
write_settings_hive() {
  printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' \
    '[HKEY_LOCAL_MACHINE\Software\Vantrel]' \
    '"FilePath"="C:\\Program Files\\Vantrel\\"' \
    "\"ServerPath\"=\"$2\"" > "$1"
}

# stand_in_opener BIN_DIR LOG: an xdg-open that records what it is handed instead of starting a browser.
stand_in_opener() {
  mkdir -p "$1"
  printf '#!/bin/sh\nprintf "%%s\\n" "$1" >> "%s"\n' "$2" > "$1/xdg-open"
  chmod +x "$1/xdg-open"
}
