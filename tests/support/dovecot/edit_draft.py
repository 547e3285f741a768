#!/usr/bin/python3
"""Edits a draft over IMAP as mail programs save an edited draft: the new text is appended
as a new message (with a new Message-ID, without the headers the program does not know, the
attachments' names written anew) and the old one is flagged \\Deleted and expunged by its UID
alone."""
import argparse
import base64
import email
import email.header
import email.policy
import imaplib
import uuid

POLICY = email.policy.compat32.clone(linesep="\r\n")


def rename_as_editors_do(part, name):
    """The name once as an encoded word and once split over RFC 2231 continuations."""
    encoded = base64.b64encode(name.encode()).decode()
    quoted = "".join("%%%02X" % b for b in name.encode())
    half = len(quoted) // 2
    while quoted[half - 1] == "%" or quoted[half - 2] == "%":
        half += 1
    del part["Content-Type"]
    part["Content-Type"] = '%s;\r\n name="=?UTF-8?B?%s?="' % (part.get_content_type(), encoded)
    del part["Content-Disposition"]
    part["Content-Disposition"] = ("attachment;\r\n filename*0*=UTF-8''%s;\r\n filename*1*=%s"
                                   % (quoted[:half], quoted[half:]))

parser = argparse.ArgumentParser()
parser.add_argument("--port", type=int, required=True)
parser.add_argument("--user", required=True)
parser.add_argument("--password", required=True)
parser.add_argument("--folder", default="Drafts")
parser.add_argument("--subject", required=True, help="the draft's subject now")
parser.add_argument("--new-subject")
parser.add_argument("--add-to")
parser.add_argument("--delete", action="store_true", help="delete the draft instead")
args = parser.parse_args()

imap = imaplib.IMAP4("127.0.0.1", args.port)
imap.login(args.user, args.password)
imap.select('"%s"' % args.folder)
status, found = imap.uid("SEARCH", None, "UNDELETED")
target = None
for uid in found[0].split():
    status, data = imap.uid("FETCH", uid, "(BODY.PEEK[])")
    message = email.message_from_bytes(data[0][1], policy=POLICY)
    subject = str(email.header.make_header(email.header.decode_header(message["Subject"])))
    if subject == args.subject:
        target = (uid, message)
        break
if target is None:
    raise SystemExit("no draft with the subject %r" % args.subject)
uid, message = target
if not args.delete:
    if args.new_subject:
        del message["Subject"]
        message["Subject"] = args.new_subject
    if args.add_to:
        to = str(message["To"])
        del message["To"]
        message["To"] = to + ", " + args.add_to
    del message["Message-ID"]
    message["Message-ID"] = "<%s@editor.example>" % uuid.uuid4()
    for name in [n for n in message.keys() if n.lower().startswith("x-")]:
        del message[name]
    message["User-Agent"] = "An editor"
    for part in message.walk():
        name = part.get_filename()
        if name and not name.isascii():
            rename_as_editors_do(part, name)
    body = message.as_bytes(policy=POLICY)
    status, _ = imap.append('"%s"' % args.folder, "(\\Draft)", None, body)
    assert status == "OK", status
imap.uid("STORE", uid, "+FLAGS", "(\\Seen \\Deleted)")
imap.uid("EXPUNGE", uid)
imap.logout()
