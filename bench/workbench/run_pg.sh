#!/usr/bin/env bash
# Runs bench_workbench with its PostgreSQL variants on a throw-away server of this machine:
#   bash bench/workbench/run_pg.sh [BUILD_DIR] [bench arguments...]
# The server keeps initdb's settings; BENCH_PG_SETTINGS adds server options, for example
#   BENCH_PG_SETTINGS="-c shared_buffers=1GB -c max_wal_size=4GB"
set -euo pipefail
build=${1:-build}
shift || true
bin=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -1)
data=$(mktemp -d /tmp/tarnix-bench-pg.XXXXXX)
port=$((20000 + RANDOM % 20000))
as_pg() { if [ "$(id -u)" = 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi; }
[ "$(id -u)" = 0 ] && chown postgres "$data"
chmod 700 "$data"
as_pg "$bin/initdb" -D "$data" -A trust -U postgres -E UTF8 --locale=C >/dev/null
as_pg "$bin/pg_ctl" -D "$data" -o "-p $port -c listen_addresses=127.0.0.1 -k $data ${BENCH_PG_SETTINGS:-}" -l "$data/server.log" -w start >/dev/null
trap 'as_pg "$bin/pg_ctl" -D "$data" -m immediate -w stop >/dev/null; rm -rf "$data"' EXIT
as_pg "$bin/createdb" -h 127.0.0.1 -p "$port" -U postgres bench
cs="Provider=SQLOLEDB.1;Password=;Persist Security Info=True;User ID=postgres;Initial Catalog=bench;Data Source=pgsql:127.0.0.1:$port;Auto Translate=False;Connect Timeout=10;Extended Properties=\"Command Timeout=600\""
"$build/bin/bench_workbench" --pg "$cs" "$@"
