#!/usr/bin/env python3
"""A hostile IMAP server on 127.0.0.1, for trying `ferrymail send` against by hand and for
measuring its peak memory and its time to exit after a signal.

hostile_imap_peer.py MODE [--port N] [--lines N]

MODE:
  parens         answers LIST with one line of 60,000 '('
  flood          answers LIST with --lines untagged lines (default 20,000,000), then OK
  endless-flood  answers LIST with untagged lines for ever
  literal-flood  after an APPEND's literal, untagged lines for ever
  literal-silent after an APPEND's literal, nothing
  endless-auth   offers AUTH=XOAUTH2 and asks "+" for more for ever

Account: any user and password, plain IMAP (ImapSecurity=none) on loopback.
"""
import argparse
import socket
import threading

CAPS = b"IMAP4rev1 LITERAL+ SPECIAL-USE AUTH=XOAUTH2 SASL-IR"


def serve(conn, args):
    f = conn.makefile("rb")

    def send(data):
        conn.sendall(data)

    def flood(lines):
        block = b"* 1 EXISTS\r\n" * 5000
        sent = 0
        while lines is None or sent < lines:
            send(block)
            sent += 5000

    send(b"* OK [CAPABILITY " + CAPS + b"] hostile peer ready\r\n")
    while True:
        line = f.readline()
        if not line:
            return
        words = line.rstrip(b"\r\n").split(b" ")
        tag, verb = words[0], (words[1].upper() if len(words) > 1 else b"")
        if verb == b"CAPABILITY":
            send(b"* CAPABILITY " + CAPS + b"\r\n" + tag + b" OK done\r\n")
        elif verb in (b"LOGIN",):
            send(tag + b" OK logged in\r\n")
        elif verb == b"AUTHENTICATE":
            if args.mode == "endless-auth":
                while True:
                    send(b"+ eyJzdGF0dXMiOiI0MDEifQ==\r\n")
                    if not f.readline():
                        return
            send(tag + b" OK signed in\r\n")
        elif verb == b"LIST":
            if args.mode == "parens":
                send(b"* LIST " + b"(" * 60000 + b"\r\n")
            elif args.mode == "flood":
                flood(args.lines)
            elif args.mode == "endless-flood":
                flood(None)
            send(b'* LIST (\\Drafts) "/" Drafts\r\n' + tag + b" OK listed\r\n")
        elif verb == b"APPEND":
            size = int(line.rstrip(b"\r\n").rsplit(b"{", 1)[1].rstrip(b"+}"))
            if not line.rstrip(b"\r\n").endswith(b"+}"):
                send(b"+ go ahead\r\n")
            f.read(size)
            f.readline()
            if args.mode == "literal-flood":
                flood(None)
            if args.mode == "literal-silent":
                while f.read(4096):
                    pass
                return
            send(tag + b" OK appended\r\n")
        elif verb == b"LOGOUT":
            send(b"* BYE bye\r\n" + tag + b" OK bye\r\n")
            return
        else:
            send(tag + b" OK " + verb + b" done\r\n")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("mode", choices=["parens", "flood", "endless-flood", "literal-flood",
                                         "literal-silent", "endless-auth"])
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--lines", type=int, default=20000000)
    args = parser.parse_args()
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", args.port))
    listener.listen()
    print("listening on 127.0.0.1 port", listener.getsockname()[1], flush=True)
    while True:
        conn, _ = listener.accept()
        threading.Thread(target=lambda c=conn: (c.__enter__(), serve_safely(c, args)),
                         daemon=True).start()


def serve_safely(conn, args):
    try:
        serve(conn, args)
    except (BrokenPipeError, ConnectionResetError):
        pass
    finally:
        conn.close()


if __name__ == "__main__":
    main()
