#!/usr/bin/python3
"""A real SMTP server for the tests: stores each message it takes as N.eml (the bytes as
received) and N.json (envelope) in the folder given, requires AUTH PLAIN or LOGIN with the
user and password given, announces SIZE. Prints its port, then runs until stdin closes."""
import asyncio
import json
import os
import sys

from aiosmtpd.smtp import SMTP, AuthResult

folder, user, password, size_limit = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
count = 0


class Store:
    async def handle_DATA(self, server, session, envelope):
        global count
        count += 1
        with open(os.path.join(folder, f"{count}.eml.part"), "wb") as out:
            out.write(envelope.original_content)
        with open(os.path.join(folder, f"{count}.json"), "w") as out:
            json.dump({"from": envelope.mail_from, "to": envelope.rcpt_tos,
                       "auth": session.auth_data.login.decode() if session.auth_data else ""}, out)
        os.rename(os.path.join(folder, f"{count}.eml.part"), os.path.join(folder, f"{count}.eml"))
        return "250 OK stored"


def authenticate(server, session, envelope, mechanism, data):
    ok = data.login.decode() == user and data.password.decode() == password
    return AuthResult(success=ok, handled=False, auth_data=data)


async def main():
    loop = asyncio.get_running_loop()
    server = await loop.create_server(
        lambda: SMTP(Store(), hostname="localhost", data_size_limit=size_limit,
                     authenticator=authenticate, auth_required=True, auth_require_tls=False,
                     enable_SMTPUTF8=True),
        "127.0.0.1", 0)
    print(server.sockets[0].getsockname()[1], flush=True)
    # Stops when the test that started it ends, however it ends.
    await loop.run_in_executor(None, sys.stdin.buffer.read)
    server.close()


asyncio.run(main())
