#!/usr/bin/python3
"""An SMTP peer that misbehaves on demand, as real servers do only on a bad day. Usage:
scripted_peer.py FOLDER SCENARIO. Stores each message it takes as N.eml in FOLDER, prints its
port, serves connections one after another until stdin closes.

Scenarios: ok, 421-after-two, rcpt-4xx-once, 552-at-dot, drop-after-dot, no-greeting,
silent-after-data, endless-line."""
import os
import socket
import sys
import threading

folder, scenario = sys.argv[1], sys.argv[2]
taken = 0
rcpt_refused = False


def serve(conn):
    global taken, rcpt_refused
    reader = conn.makefile("rb")

    def say(text):
        conn.sendall(text.encode() + b"\r\n")

    if scenario == "no-greeting":
        reader.read()  # until the client gives up
        return
    if scenario == "endless-line":
        conn.sendall(b"220 ")
        chunk = b"x" * 65536
        try:
            while True:
                conn.sendall(chunk)
        except OSError:
            return
    say("220 localhost ready")
    while True:
        line = reader.readline()
        if not line:
            return
        verb = line.split(b" ")[0].strip().upper()
        if verb in (b"EHLO", b"HELO"):
            say("250-localhost\r\n250-SIZE 100000000\r\n250 8BITMIME")
        elif verb == b"MAIL":
            if scenario == "421-after-two" and taken == 2 and not os.path.exists(
                    os.path.join(folder, "closed-once")):
                open(os.path.join(folder, "closed-once"), "w").close()
                say("421 4.3.2 going down for a moment")
                return
            say("250 OK")
        elif verb == b"RCPT":
            if scenario == "rcpt-4xx-once" and not rcpt_refused:
                rcpt_refused = True
                say("451 4.3.0 try again later")
            else:
                say("250 OK")
        elif verb == b"DATA":
            say("354 go ahead")
            body = bytearray()
            while True:
                data_line = reader.readline()
                if not data_line:
                    return
                if data_line == b".\r\n":
                    break
                body += data_line
            if scenario == "552-at-dot":
                say("552 5.3.4 message too big for this mailbox")
                continue
            taken += 1
            with open(os.path.join(folder, f"{taken}.eml"), "wb") as out:
                out.write(bytes(body))
            if scenario == "drop-after-dot":
                return
            if scenario == "silent-after-data":
                reader.read()
                return
            say("250 OK stored")
        elif verb == b"RSET" or verb == b"NOOP":
            say("250 OK")
        elif verb == b"QUIT":
            say("221 bye")
            return
        else:
            say("502 not here")


def accept(listener):
    while True:
        try:
            conn, _ = listener.accept()
        except OSError:
            return
        with conn:
            try:
                serve(conn)
            except OSError:
                pass


listener = socket.socket()
listener.bind(("127.0.0.1", 0))
listener.listen(8)
print(listener.getsockname()[1], flush=True)
threading.Thread(target=accept, args=(listener,), daemon=True).start()
sys.stdin.buffer.read()
