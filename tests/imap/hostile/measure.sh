#!/usr/bin/env bash
# Runs `ferrymail send` against the hostile peer in one of its modes, sends SIGINT after
# DELAY seconds (0: never), and prints the exit code, the time from the signal to the exit
# and the peak memory.
#   tests/imap/hostile/measure.sh BUILD_DIR MODE [DELAY]
set -euo pipefail
build=${1:?usage: measure.sh BUILD_DIR MODE [DELAY]}
mode=${2:?mode: see hostile_imap_peer.py}
delay=${3:-0}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'kill "$peer" 2>/dev/null || true; rm -rf "$work"' EXIT

python3 "$here/hostile_imap_peer.py" "$mode" >"$work/peer.log" &
peer=$!
until grep -q "listening" "$work/peer.log" 2>/dev/null; do sleep 0.05; done
port=$(awk '{print $NF}' "$work/peer.log")

mkdir -p "$work/config/Ferrymail" "$work/files"
auth="PasswordCommand=echo secret"
[ "$mode" = endless-auth ] && auth=$'ImapAuth=oauth2\nTokenCommand=echo token'
printf '[MailClient]\nKind=imap\nImapHost=127.0.0.1\nImapPort=%s\nImapSecurity=none\nImapUser=me\n%s\n' \
    "$port" "$auth" >"$work/config/Ferrymail/Ferrymail.conf"
head -c 2000 /dev/urandom >"$work/files/a.bin"

export XDG_CONFIG_HOME="$work/config"
unset DBUS_SESSION_BUS_ADDRESS
start=$(date +%s.%N)
/usr/bin/time -f "%M" -o "$work/peak" "$build/ferrymail" send --to a@example.org \
    --from b@example.org --subject S --all "$work/files" >"$work/out" 2>"$work/err" &
sender=$!
signalled=""
if [ "$delay" != 0 ]; then
    sleep "$delay"
    signalled=$(date +%s.%N)
    kill -INT "$(pgrep -P "$sender" -x ferrymail || echo "$sender")" 2>/dev/null || true
fi
set +e
wait "$sender"
code=$?
set -e
ended=$(date +%s.%N)
echo "exit code: $code"
[ -n "$signalled" ] && echo "seconds from SIGINT to exit: $(echo "$ended - $signalled" | bc)"
echo "seconds in all: $(echo "$ended - $start" | bc)"
echo "peak memory: $(( $(tail -1 "$work/peak") / 1024 )) MiB"
echo "stdout:"; sed 's/^/  /' "$work/out"
echo "stderr:"; sed 's/^/  /' "$work/err"
