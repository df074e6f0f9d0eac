#!/usr/bin/env bash
# scripts/test-postgres: a started cluster answers its superuser over the socket and the clerk over
# TCP (only with the right password); server-stop/server-start take the server away and bring it
# back on the same address; start replaces an old cluster; stop leaves nothing behind.
set -uo pipefail
script=$1
if ! ls /usr/lib/postgresql/*/bin/initdb >/dev/null 2>&1; then
    echo "SKIP: no PostgreSQL server installed"
    exit 77
fi
work=$(mktemp -d)
chmod 755 "$work"
dir="$work/cluster"
trap '"$script" stop "$dir" >/dev/null 2>&1; rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# Reads DIR/env into the shell variables of the same names.
load_env() {
    local line
    while IFS= read -r line; do
        printf -v "${line%%=*}" '%s' "${line#*=}"
    done <"$dir/env"
}
sql() { "$RENTBOOK_TEST_PG_BIN/psql" -X -w -At -d "$1" -c "$2" </dev/null 2>"$work/err"; }
as_clerk() { PGPASSWORD=$1 sql "$RENTBOOK_TEST_PG_TCP" "$2"; }
# A process that ended but was not reaped yet (a zombie) does not count.
alive() { [ -r "/proc/$1/stat" ] && ! grep -q '^[0-9]* (.*) Z' "/proc/$1/stat"; }

"$script" start "$dir" || { echo "FAIL: start"; exit 1; }
load_env
[ -n "$RENTBOOK_TEST_PG_PASSWORD" ] && [ -d "$RENTBOOK_TEST_PG_DATA" ] || fail "env is incomplete: $(cat "$dir/env")"
socket_dir=$(sed -n 's/^SOCKDIR=//p' "$dir/state")
[ "$(sql "$RENTBOOK_TEST_PG" 'select rolsuper from pg_roles where rolname = current_user')" = t ] ||
    fail "superuser over the socket: $(cat "$work/err")"
[ "$(as_clerk "$RENTBOOK_TEST_PG_PASSWORD" 'select current_user || host(inet_server_addr())')" = clerk127.0.0.1 ] ||
    fail "clerk over TCP with the right password: $(cat "$work/err")"
for password in wrong ""; do
    as_clerk "$password" 'select 1' >/dev/null && fail "clerk got in with the password '$password'"
done
superuser=${RENTBOOK_TEST_PG_RUNAS:-$(id -un)}
sql "postgresql://$superuser@127.0.0.1:${RENTBOOK_TEST_PG_TCP##*:}" 'select 1' >/dev/null &&
    fail "the superuser got in over TCP without a password"
[ "$(as_clerk "$RENTBOOK_TEST_PG_PASSWORD" "select current_setting('fsync') || current_setting('max_connections')")" = off200 ] ||
    fail "the speed settings are not in force"

"$script" server-stop "$dir" || fail "server-stop"
sql "$RENTBOOK_TEST_PG" 'select 1' >/dev/null && fail "the server still answers after server-stop"
[ -f "$RENTBOOK_TEST_PG_DATA/PG_VERSION" ] || fail "server-stop lost the data"
"$script" server-start "$dir" || fail "server-start"
[ "$(sql "$RENTBOOK_TEST_PG" 'select 1')" = 1 ] || fail "no answer over the socket after server-start"
[ "$(as_clerk "$RENTBOOK_TEST_PG_PASSWORD" 'select 1')" = 1 ] || fail "no answer over TCP after server-start"

# A second start replaces the running cluster: the old server is gone, the new one answers.
old_pid=$(head -n 1 "$RENTBOOK_TEST_PG_DATA/postmaster.pid")
old_socket_dir=$socket_dir
"$script" start "$dir" || fail "start over a running cluster"
alive "$old_pid" && fail "the old server $old_pid still runs"
[ -e "$old_socket_dir" ] && fail "the old socket folder is left"
load_env
socket_dir=$(sed -n 's/^SOCKDIR=//p' "$dir/state")
[ "$(sql "$RENTBOOK_TEST_PG" 'select 1')" = 1 ] || fail "the new cluster does not answer"

pid=$(head -n 1 "$RENTBOOK_TEST_PG_DATA/postmaster.pid")
"$script" stop "$dir" || fail "stop"
alive "$pid" && fail "the server $pid still runs after stop"
[ -e "$dir" ] && fail "stop left $dir"
[ -e "$socket_dir" ] && fail "stop left $socket_dir"
"$script" stop "$dir" || fail "a second stop"

# A folder that holds something else is not wiped.
mkdir -p "$dir" && echo keep >"$dir/notes"
"$script" start "$dir" 2>/dev/null && fail "start took over a folder with other files"
[ -f "$dir/notes" ] || fail "start deleted a file it did not make"

[ $failures -eq 0 ] && echo "PASS" || exit 1
