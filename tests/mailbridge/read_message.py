#!/usr/bin/env python3
"""Reads a message file with Python's email package, a reader independent of GMime, and prints
what a mail client would show of it as JSON: subject, addresses, attachments, and every defect
the parser found."""
import hashlib
import json
import sys
from email import message_from_bytes, policy


def addresses(header):
    return [[a.display_name, a.addr_spec] for a in header.addresses] if header else []


def main(path):
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
    json.dump({
        "subject": str(message["subject"]),
        "from": addresses(message["from"]),
        "to": addresses(message["to"]),
        "attachments": attachments,
        "defects": defects,
    }, sys.stdout)


if __name__ == "__main__":
    main(sys.argv[1])
