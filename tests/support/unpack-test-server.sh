#!/usr/bin/env bash
# Unpacks Debian's packages of a server into the test servers' cache for the tests to run it
# from there: such packages conflict with each other, and installing one would start a
# system-wide service. The libraries they need are installed with apt, as any library is.
#   tests/support/unpack-test-server.sh NAME PACKAGE...
# The cache is $FERRYMAIL_TEST_SERVERS, else /var/cache/ferrymail/test-servers for root (whose
# servers run as nobody, who cannot look into root's home), else
# $XDG_CACHE_HOME (or ~/.cache)/ferrymail/test-servers.
set -euo pipefail

name=${1:?usage: unpack-test-server.sh NAME PACKAGE...}
shift
packages="$*"
if [ "$(id -u)" = 0 ]; then
    cache=${FERRYMAIL_TEST_SERVERS:-/var/cache/ferrymail/test-servers}
else
    cache=${FERRYMAIL_TEST_SERVERS:-${XDG_CACHE_HOME:-$HOME/.cache}/ferrymail/test-servers}
fi
root="$cache/$name"
sudo=$([ "$(id -u)" = 0 ] || echo sudo)

if [ "$(cat "$root/packages" 2>/dev/null)" != "$packages" ]; then
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
    # The libraries the packages depend on, by name, from the packages themselves.
    for deb in "$debs"/*.deb; do
        dpkg-deb -f "$deb" Depends
    done | tr ',' '\n' | sed 's/[(|].*//; s/ //g' | grep '^lib' | sort -u >"$root.new/libraries"
    echo "$packages" >"$root.new/packages"
    rm -rf "$root"
    mv "$root.new" "$root"
fi

missing=""
for p in $(cat "$root/libraries"); do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
    echo "Installing the libraries of $name:$missing"
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends $missing
fi
