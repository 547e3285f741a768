#!/usr/bin/env python3
"""Reads a message file with Python's email package, a reader independent of GMime, and prints
what a mail client would show of it as JSON: subject, addresses, the body a reader shows,
attachments, and every defect the parser found. With --save FOLDER it also saves each
attachment there under its file name, as a recipient would."""
import hashlib
import json
import os
import sys
from email import message_from_bytes, policy


def addresses(header):
    return [[a.display_name, a.addr_spec] for a in header.addresses] if header else []


def save_attachments(message, folder):
    for part in message.iter_attachments():
        name = part.get_filename()
        with open(os.path.join(os.fsencode(folder), name.encode("utf-8")), "wb") as f:
            f.write(part.get_payload(decode=True))


def main(path, save_to=None):
    with open(path, "rb") as f:
        message = message_from_bytes(f.read(), policy=policy.default)
    defects = [type(d).__name__ for d in message.defects]
    attachments = []
    for part in message.walk():
        defects += [type(d).__name__ for d in part.defects]
        if part.is_multipart() or part is message:
            continue
        payload = part.get_payload(decode=True)
        attachments.append({
            "filename": part.get_filename(),
            "type": part.get_content_type(),
            "encoding": part.get("Content-Transfer-Encoding"),
            "sha256": hashlib.sha256(payload).hexdigest(),
        })
    body = message.get_body(preferencelist=("plain",))
    if save_to:
        save_attachments(message, save_to)
    json.dump({
        "body": body.get_content() if body is not None else None,
        "bodyIsFirstPart": body is not None and message.is_multipart()
        and message.get_payload()[0] is body,
        "subject": str(message["subject"]),
        "from": addresses(message["from"]),
        "to": addresses(message["to"]),
        "attachments": attachments,
        "defects": defects,
    }, sys.stdout)


if __name__ == "__main__":
    if len(sys.argv) == 4 and sys.argv[2] == "--save":
        main(sys.argv[1], sys.argv[3])
    else:
        main(sys.argv[1])
