#!/usr/bin/env bash
# scripts/install-deps waits while another program holds the package manager's lock, and gives up
# with a message when the wait passes its limit. Every package is reported missing (a stand-in
# dpkg-query), so apt-get really runs; they are all installed already, so it changes nothing.
set -uo pipefail
script=$1
if [ "$(id -u)" -ne 0 ] || ! command -v apt-get >/dev/null || ! command -v perl >/dev/null; then
    echo "SKIP: needs root, apt-get and perl"
    exit 77
fi
work=$(mktemp -d)
holder=""
trap '[ -n "$holder" ] && kill "$holder" 2>/dev/null; rm -rf "$work"' EXIT
mkdir "$work/bin"
printf '#!/bin/sh\necho "unknown ok not-installed"\n' >"$work/bin/dpkg-query"
chmod +x "$work/bin/dpkg-query"
failures=0

# apt-get may still upgrade an installed package: this run only looks, it never upgrades.
printf 'APT::Get::Upgrade "false";\n' >"$work/apt.conf"
export APT_CONFIG="$work/apt.conf"

# Holds the package lists' lock and dpkg's front-end lock (fcntl locks, as apt takes them) for
# $1 seconds.
hold_lock() {
    perl -MFcntl -e 'my @f; for my $p ("/var/lib/apt/lists/lock", "/var/lib/dpkg/lock-frontend") {
            open(my $f, ">>", $p) or die "$p: $!";
            my $lock = pack("s s x4 q q i x4", F_WRLCK, 0, 0, 0, 0);
            fcntl($f, F_SETLKW, $lock) or die "lock $p: $!";
            push @f, $f;
        }
        print STDOUT "held\n"; STDOUT->flush; sleep $ARGV[0];' "$1" >"$work/held" &
    holder=$!
    for _ in $(seq 1 50); do [ -s "$work/held" ] && return; sleep 0.1; done
    echo "FAIL: could not take the lock"; exit 1
}

# The lock is let go after 6 s: the script waits, then installs.
hold_lock 6
start=$SECONDS
PATH="$work/bin:$PATH" RENTBOOK_APT_LOCK_TIMEOUT=120 "$script" >"$work/out" 2>&1
rc=$?
waited=$((SECONDS - start))
if [ $rc -ne 0 ] || [ $waited -lt 4 ] || ! grep -q 'waiting for it' "$work/out"; then
    cat "$work/out"; echo "FAIL: exit $rc after $waited s while the lock was held for 6 s"
    failures=$((failures + 1))
fi
wait "$holder" 2>/dev/null; holder=""

# The lock is held past the limit: the script gives up with a message, not at once and not never.
rm -f "$work/held"
hold_lock 60
start=$SECONDS
PATH="$work/bin:$PATH" RENTBOOK_APT_LOCK_TIMEOUT=4 "$script" >"$work/out" 2>&1
rc=$?
waited=$((SECONDS - start))
if [ $rc -eq 0 ] || [ $waited -gt 40 ] || ! grep -q 'Gave up after 4 s' "$work/out"; then
    cat "$work/out"; echo "FAIL: exit $rc after $waited s while the lock was held past the limit"
    failures=$((failures + 1))
fi

[ $failures -eq 0 ] && echo "install-deps waits for the package manager" || exit 1
