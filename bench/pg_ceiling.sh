#!/bin/sh
# The service on PostgreSQL beside PostgreSQL's own ceiling for the same rows, in one throwaway
# cluster: bench_load against one (or two) service processes, then pgbench committing an item row
# and a journal row per upload (each statement waited for, and pipelined), in batches of the size the service's writer made
# (uploads per commit over its run), durable commits both. Prints both rates and their ratio.
#
#   pg_virtualenv -- sh bench/pg_ceiling.sh [--processes 1|2] [--clients C] [--seconds S] [bench_load options...]
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

stats() { q "SELECT xact_commit FROM pg_stat_database WHERE datname = current_database()"; }
q "SELECT pg_stat_reset()" >/dev/null
commits0=$(stats)
items0=$(q "SELECT COALESCE((SELECT count(*) FROM items), 0)" 2>/dev/null || echo 0)
out=$(mktemp)
# Two processes: two benchmarks at once, each with its own service on the one database and half
# of the connections; their rates add up.
if [ "$processes" = 2 ]; then
    "$bench" --only service --db-url "$url" --seconds "$seconds" --connections 25 "$@" >"$out.1" &
    first=$!
    "$bench" --only service --db-url "$url" --seconds "$seconds" --connections 25 "$@" >"$out.2" || true
    wait "$first" || true
    cat "$out.1" "$out.2" | tee "$out"
    rm -f "$out.1" "$out.2"
else
    "$bench" --only service --db-url "$url" --seconds "$seconds" "$@" | tee "$out" || true
fi
sleep 1  # the statistics collector's figures settle
commits=$(( $(stats) - commits0 ))
journal=$(q "SELECT count(*) FROM journal WHERE page = 'sftdata.asp'")
items=$(q "SELECT count(*) FROM items")
# Every upload writes a journal row; commits also count reads, so this is the batch size's floor.
batch=$(( (journal + commits / 2) / (commits > 0 ? commits : 1) ))
[ "$batch" -ge 1 ] || batch=1
rate=$(sed -n 's/^service, [0-9]* connections *\([0-9][0-9]*\) uploads\/s.*/\1/p' "$out" | awk '{ s += $1 } END { print s + 0 }')
rm -f "$out"

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
            echo "INSERT INTO items (profile_id, category, text, config_date) VALUES ($pid, 'Software', 'Program number $i, version 1.2.3'::bytea, NULL);"
            echo "INSERT INTO journal (received, path, page, params, status, received_at) VALUES ('2026-12-09 03.00.00', '/sftdata.asp'::bytea, 'sftdata.asp'::bytea, 'UID=fleet-000001&qIS=Program+number+1%2C+version+1.2.3&PWD=********', 200, 1765249200) RETURNING seq;"
            i=$((i + 1))
        done
        echo "COMMIT;"
        if [ "$1" = 1 ]; then printf '%s\n' '\endpipeline'; fi
    } >"$script"
    tps=$(pgbench -n -M prepared -c "$clients" -j 2 -T "$seconds" -f "$script" 2>"$script.err" |
        sed -n 's/^tps = \([0-9.]*\).*/\1/p' | head -n 1)
    grep -m 3 error "$script.err" >&2 || true
    rm -f "$script" "$script.err"
    awk -v t="${tps:-0}" -v b="$batch" 'BEGIN { printf "%.0f", t * b }'
}
plain=$(ceiling 0)
piped=$(ceiling 1)
echo "service processes: $processes; writer's batches: $batch uploads per commit ($journal uploads in $commits commits)"
echo "pgbench, same rows, $batch uploads per commit, $clients clients: $plain uploads/s; pipelined: $piped uploads/s"
awk -v s="${rate:-0}" -v c="$plain" -v p="$piped" 'BEGIN {
    printf "service/pgbench = %.2f, service/pgbench pipelined = %.2f (%s uploads/s)\n", (c > 0 ? s / c : 0), (p > 0 ? s / p : 0), s }'
