#!/usr/bin/env bash
# Installs Debian's Dovecot for the tests and the benchmark, which start servers of their own
# from its programs (IMAP, and submission relaying to LMTP), without leaving the package's
# system-wide mail service running or enabled. A Dovecot that was installed before keeps its
# service as it was: only the programs it lacks are added, without starting or restarting it.
set -euo pipefail

sudo=$([ "$(id -u)" = 0 ] || echo sudo)
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "ok installed"; }
packages="dovecot-core dovecot-imapd dovecot-submissiond dovecot-lmtpd"
missing=""
for package in $packages; do
    installed "$package" || missing="$missing $package"
done
if [ -z "$missing" ]; then
    exit 0
fi

# invoke-rc.d and deb-systemd-invoke ask policy-rc.d before they start a service; 101 says no.
policy=/usr/sbin/policy-rc.d
ours=""
if [ ! -e "$policy" ]; then
    printf '#!/bin/sh\nexit 101\n' | $sudo tee "$policy" >/dev/null
    $sudo chmod 755 "$policy"
    ours=1
fi
remove_policy() { if [ -n "$ours" ]; then $sudo rm -f "$policy"; fi; }
trap remove_policy EXIT

echo "Installing$missing for the tests; their system service stays off"
$sudo apt-get update
# shellcheck disable=SC2086 # one word a package
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends $missing

# Nor started at the next boot, unless that Dovecot was there before us.
if [ "${missing#* dovecot-core}" = "$missing" ]; then
    exit 0
fi
if [ -d /run/systemd/system ]; then
    $sudo systemctl disable --now dovecot.service dovecot.socket >/dev/null 2>&1 || true
else
    $sudo update-rc.d dovecot disable >/dev/null 2>&1 || true
fi
