#!/usr/bin/env bash
# Runs `make test` from a clean clone of this repository's committed HEAD inside a fresh
# Debian 12: a minbase bookworm chroot made by mmdebstrap, with make and git added and nothing
# else, thrown away after. `make test` has to install everything it needs itself, and pass
# where the kernel refuses what a chroot may not have (user namespaces among them): such cases
# are skipped, and the run's end says how many and why.
#   --user   run it as an ordinary user with sudo, as the README's reader would (default: root)
# Needs root and mmdebstrap; not part of `make test`. Slow: it builds everything and runs every
# test (about an hour on two cores); `nice -n 19` keeps the machine usable meanwhile.
set -euo pipefail

cd "$(dirname "$0")/../.."
repo=$(pwd)

as_user=
if [ "${1:-}" = --user ]; then
    as_user=1
fi
if [ "$(id -u)" != 0 ]; then
    echo "chroot-make-test.sh builds a chroot: run it as root (sudo)." >&2
    exit 2
fi
command -v mmdebstrap >/dev/null || {
    echo "chroot-make-test.sh needs mmdebstrap (apt-get install mmdebstrap)." >&2
    exit 2
}

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
git clone -q --no-hardlinks "$repo" "$scratch/ferrymail"
echo "== make test in a fresh Debian 12 chroot, from a clone of $(git rev-parse --short HEAD)"

if [ -n "$as_user" ]; then
    home=/home/tester
    run='chroot "$1" su - tester -c "cd ferrymail && make test"'
    hooks=(--customize-hook='chroot "$1" useradd -m tester'
        --customize-hook='echo "tester ALL=(ALL) NOPASSWD: ALL" >"$1/etc/sudoers.d/tester"'
        --customize-hook="cp -a '$scratch/ferrymail' \"\$1$home/\""
        --customize-hook='chroot "$1" chown -R tester:tester /home/tester')
    include=make,git,sudo
else
    home=/root
    run='chroot "$1" sh -c "cd /root/ferrymail && make test"'
    hooks=(--customize-hook="cp -a '$scratch/ferrymail' \"\$1$home/\"")
    include=make,git
fi

# The hooks run inside the chroot with /proc and /dev mounted; /dev/null discards it after.
mmdebstrap --variant=minbase --include="$include" bookworm /dev/null \
    --customize-hook='echo "APT::Get::Assume-Yes \"true\";" >"$1/etc/apt/apt.conf.d/90yes"' \
    "${hooks[@]}" \
    --customize-hook="$run"

echo "make test passed in a fresh Debian 12 chroot."
