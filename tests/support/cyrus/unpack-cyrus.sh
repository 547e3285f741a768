#!/usr/bin/env bash
# Unpacks Debian's Cyrus IMAP server into the test servers' cache for the tests to run from
# there: its packages conflict with Dovecot's, and installing them would start a system-wide
# service. The libraries it needs are installed with apt, as any library is.
#   tests/support/cyrus/unpack-cyrus.sh [cache folder]
set -euo pipefail

cache=${1:-${FERRYMAIL_TEST_SERVERS:-${XDG_CACHE_HOME:-$HOME/.cache}/ferrymail/test-servers}}
root="$cache/cyrus"
packages="cyrus-common cyrus-imapd"
sudo=$([ "$(id -u)" = 0 ] || echo sudo)

if [ ! -x "$root/usr/lib/cyrus/bin/master" ]; then
    debs=$(mktemp -d)
    trap 'rm -rf "$debs"' EXIT
    # apt-get download writes where it runs; apt's own user may not write in a private folder.
    chmod 755 "$debs"
    if ! (cd "$debs" && apt-get download $packages); then
        $sudo apt-get update
        (cd "$debs" && apt-get download $packages)
    fi
    rm -rf "$root.new"
    mkdir -p "$root.new"
    for deb in "$debs"/*.deb; do
        dpkg-deb -x "$deb" "$root.new"
    done
    # The libraries each package depends on, by name, from the packages themselves.
    for deb in "$debs"/*.deb; do
        dpkg-deb -f "$deb" Depends
    done | tr ',' '\n' | sed 's/[(|].*//; s/ //g' | grep '^lib' | sort -u >"$root.new/libraries"
    rm -rf "$root"
    mv "$root.new" "$root"
fi

missing=""
for p in $(cat "$root/libraries"); do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
    echo "Installing the libraries of Cyrus:$missing"
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends $missing
fi
