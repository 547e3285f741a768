#!/usr/bin/env python3
# A second reader of a test folder, sharing nothing with the outbox: writes each message of
# the folder to <outdir>/<uid>.eml and prints "<uid> <flags...>" per message.
# read_folder.py <host> <port> <user> <password> <folder> <cafile> <outdir>
import imaplib
import ssl
import sys

host, port, user, password, folder, cafile, outdir = sys.argv[1:]
context = ssl.create_default_context(cafile=cafile)
with imaplib.IMAP4_SSL(host, int(port), ssl_context=context) as imap:
    imap.login(user, password)
    imap.select(folder, readonly=True)
    _, found = imap.uid("SEARCH", None, "ALL")
    for uid in found[0].split():
        _, parts = imap.uid("FETCH", uid, "(FLAGS BODY.PEEK[])")
        meta, body = parts[0]
        with open(f"{outdir}/{uid.decode()}.eml", "wb") as out:
            out.write(body)
        print(uid.decode(), " ".join(flag.decode() for flag in imaplib.ParseFlags(meta)))
