#!/usr/bin/env bash
# Checks the package on fresh Debian 12 systems, each a minimal bookworm chroot made by
# mmdebstrap (only essential packages and apt) and thrown away after:
# 1. a user with sudo runs the commands of the README's "Install" section, exactly as written,
#    in a clone of this repository's committed HEAD;
# 2. the .deb made there is installed where no build dependency could stand in for a missing
#    run-time one, by tests/package/install-test.sh --deb.
# Needs root and mmdebstrap; not part of `make test`. Takes some minutes (it builds Ferrymail).
set -euo pipefail

cd "$(dirname "$0")/../.."
repo=$(pwd)

if [ "$(id -u)" != 0 ]; then
    echo "fresh-machine-test.sh builds a chroot: run it as root (sudo)." >&2
    exit 2
fi
command -v mmdebstrap >/dev/null || {
    echo "fresh-machine-test.sh needs mmdebstrap (apt-get install mmdebstrap)." >&2
    exit 2
}

# The commands exactly as the README gives them.
readme_commands=$(awk '/^## Install/ { section = 1 } section && /^```/ { if (block) exit; block = 1; next }
                       block { print }' README.md)
[ -n "$readme_commands" ] || {
    echo "README.md has no commands under '## Install'." >&2
    exit 2
}
echo "README commands:"
echo "$readme_commands"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
git clone -q --no-hardlinks "$repo" "$scratch/ferrymail"
printf '%s\n' "$readme_commands" >"$scratch/readme-commands.sh"

# The hooks run inside the chroot with /proc and /dev mounted; /dev/null discards it after.
# apt-get is told to answer yes, as a person at the prompt would.
echo "== The README's commands on a fresh Debian 12"
mmdebstrap --variant=apt --include=sudo,make bookworm /dev/null \
    --customize-hook='chroot "$1" useradd -m tester' \
    --customize-hook='echo "tester ALL=(ALL) NOPASSWD: ALL" >"$1/etc/sudoers.d/tester"' \
    --customize-hook='echo "APT::Get::Assume-Yes \"true\";" >"$1/etc/apt/apt.conf.d/90yes"' \
    --customize-hook="cp -a '$scratch/ferrymail' '$scratch/readme-commands.sh' \"\$1/home/tester/\"" \
    --customize-hook='chroot "$1" chown -R tester:tester /home/tester' \
    --customize-hook='chroot "$1" su - tester -c "cd ferrymail && bash -ex ../readme-commands.sh"' \
    --customize-hook='chroot "$1" dpkg-query -W -f="\${Package} \${Version} \${Status}\n" ferrymail' \
    --customize-hook="cp \"\$1\"/home/tester/ferrymail/build-package/ferrymail_*.deb '$scratch/'"

deb=$(ls "$scratch"/ferrymail_*.deb)
echo "== $(basename "$deb") on a fresh Debian 12 without build dependencies"
# Only the install test's own tools go in first.
mmdebstrap --variant=apt --include=lintian,appstream,desktop-file-utils,man-db,xvfb,xauth,x11-utils \
    bookworm /dev/null \
    --customize-hook="cp -a '$scratch/ferrymail' '$deb' \"\$1/root/\"" \
    --customize-hook="chroot \"\$1\" /root/ferrymail/tests/package/install-test.sh --deb /root/$(basename "$deb")"

echo "The README's install commands and the installed package passed on fresh Debian 12 systems."
