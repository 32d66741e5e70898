#!/bin/sh
# The service on PostgreSQL beside PostgreSQL's own ceiling for the same rows, in one throwaway
# cluster: bench_load against one or more service processes, then pgbench committing an item row
# and a journal row per upload (each statement waited for, and pipelined), in batches of the size
# the service's writers made (from their metrics), durable commits both. Prints both rates, their
# ratio, and PostgreSQL's own processor time per upload under each.
#
#   pg_virtualenv -- sh bench/pg_ceiling.sh [--processes P] [--clients C] [--seconds S] [bench_load options...]
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
bench=${BENCH_LOAD:-$here/build/bench/bench_load}
processes=1
clients=4
seconds=10
while [ $# -gt 0 ]; do
    case "$1" in
        --processes) processes=$2; shift 2 ;;
        --clients) clients=$2; shift 2 ;;
        --seconds) seconds=$2; shift 2 ;;
        *) break ;;
    esac
done
: "${PGDATABASE:?run inside pg_virtualenv}"
url="postgresql:///$PGDATABASE"
q() { psql -XAtq -c "$1"; }

out=$(mktemp)
# Several processes: one benchmark, its connections spread over them, in one window.
"$bench" --only service --metrics --db-url "$url" --seconds "$seconds" --processes "$processes" "$@" | tee "$out" || true
batch=$(sed -n 's/^writer.s batches: \([0-9.]*\) transactions per commit.*/\1/p' "$out" | awk '{ printf "%.0f", $1 }')
[ "${batch:-0}" -ge 1 ] || batch=1
rate=$(awk '/^service, [0-9]+ connections/ { for (i = 1; i < NF; i++) if ($(i + 1) == "uploads/s") { print $i; exit } }' "$out")
rm -f "$out"

# The processor time of every PostgreSQL process, with the ended backends' (reaped by the postmaster).
pgcpu() {
    for f in /proc/[0-9]*/stat; do cat "$f" 2>/dev/null; echo; done |
        awk -v hz="$(getconf CLK_TCK)" '/\(postgres\)/ { sub(/^.*\) /, ""); t += $12 + $13 + $14 + $15 } END { printf "%.3f", t / hz }'
}

# pgbench: the same rows (no colon in its literals: pgbench would read one as a variable),
# `batch` uploads per commit, each statement waited for (as the service did before) and pipelined
# (as it does now).
pid=$(q "SELECT min(id) FROM profiles WHERE kind = 'subscriber'")
ceiling() {  # $1: 1 to pipeline
    script=$(mktemp)
    {
        [ "$1" = 1 ] && printf '%s\n' '\startpipeline'
        echo "BEGIN;"
        i=0
        while [ "$i" -lt "$batch" ]; do
            echo "INSERT INTO collected_items (profile_id, category, text, config_date) VALUES ($pid, 'Software', 'Program number $i, version 1.2.3'::bytea, NULL);"
            echo "INSERT INTO journal (received, path, page, params, status, received_at) VALUES ('2026-12-09 03.00.00', '/sftdata.asp'::bytea, 'sftdata.asp'::bytea, 'UID=fleet-000001&qIS=Program+number+1%2C+version+1.2.3&PWD=********', 200, 1765249200) RETURNING seq;"
            i=$((i + 1))
        done
        echo "COMMIT;"
        if [ "$1" = 1 ]; then printf '%s\n' '\endpipeline'; fi
    } >"$script"
    cpu0=$(pgcpu)
    tps=$(pgbench -n -M prepared -c "$clients" -j 2 -T "$seconds" -f "$script" 2>"$script.err" |
        sed -n 's/^tps = \([0-9.]*\).*/\1/p' | head -n 1)
    cpu=$(awk -v a="$cpu0" -v b="$(pgcpu)" 'BEGIN { print b - a }')
    grep -m 3 error "$script.err" >&2 || true
    rm -f "$script" "$script.err"
    awk -v t="${tps:-0}" -v b="$batch" -v c="$cpu" -v s="$seconds" 'BEGIN {
        u = t * b; printf "%.0f uploads/s (PostgreSQL %.1f us per upload)", u, (u > 0 ? c * 1e6 / (u * s) : 0) }'
}
plain=$(ceiling 0)
piped=$(ceiling 1)
echo "service processes: $processes; writer's batches: $batch uploads per commit"
echo "pgbench, same rows, $batch uploads per commit, $clients clients: $plain; pipelined: $piped"
awk -v s="${rate:-0}" -v c="${plain%% *}" -v p="${piped%% *}" 'BEGIN {
    printf "service/pgbench = %.2f, service/pgbench pipelined = %.2f (%s uploads/s)\n", (c > 0 ? s / c : 0), (p > 0 ? s / p : 0), s }'
