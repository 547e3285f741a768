#!/usr/bin/env python3
"""Lets Dovecot's submission service relay into Dovecot's LMTP on 127.0.0.1.

The submission service relays only over SMTP (EHLO), and LMTP answers only LHLO, with one
reply per recipient after the data. This passes each session through, turning EHLO into LHLO,
hiding PIPELINING and CHUNKING so that every command has one answer, and folding the
recipients' answers into one: the first refusal, else the last. The message streams through
in blocks; nothing of it is kept.

Usage: lmtp_bridge.py LISTEN_PORT LMTP_PORT. Runs until it is killed, with the Dovecot it
serves.
"""
import asyncio
import sys

BLOCK = 256 * 1024
MAX_LINE = 64 * 1024


class Stream:
    """A reader that can hand back what it read past the end of a message."""

    def __init__(self, reader):
        self.reader = reader
        self.buffer = b""

    async def line(self):
        while b"\n" not in self.buffer:
            if len(self.buffer) > MAX_LINE:
                raise ConnectionError("line too long")
            block = await self.reader.read(BLOCK)
            if not block:
                raise ConnectionError("closed")
            self.buffer += block
        end = self.buffer.index(b"\n") + 1
        line, self.buffer = self.buffer[:end], self.buffer[end:]
        return line

    async def block(self):
        if self.buffer:
            block, self.buffer = self.buffer, b""
            return block
        block = await self.reader.read(BLOCK)
        if not block:
            raise ConnectionError("closed")
        return block


async def reply(stream):
    lines = []
    while True:
        line = await stream.line()
        lines.append(line)
        if len(line) < 4 or line[3:4] != b"-":
            return lines


def code(lines):
    return lines[-1][:3]


def without(lines, hidden):
    kept = [lines[0]] + [l for l in lines[1:] if l[4:].split()[0:1] and
                         l[4:].split()[0].upper() not in hidden]
    return [l[:3] + b"-" + l[4:] for l in kept[:-1]] + [kept[-1][:3] + b" " + kept[-1][4:]]


async def session(client_reader, client_writer, lmtp_port):
    client = Stream(client_reader)
    try:
        server_reader, server_writer = await asyncio.open_connection("127.0.0.1", lmtp_port)
    except OSError:
        client_writer.close()
        return
    server = Stream(server_reader)
    accepted = 0
    try:
        client_writer.writelines(await reply(server))
        while True:
            line = await client.line()
            verb = line.split(b" ", 1)[0].strip().upper()
            if verb in (b"EHLO", b"HELO"):
                server_writer.write(b"LHLO" + line[4:])
                answer = without(await reply(server), (b"PIPELINING", b"CHUNKING"))
                client_writer.writelines(answer)
                continue
            server_writer.write(line)
            answer = await reply(server)
            if verb in (b"MAIL", b"RSET"):
                accepted = 0
            elif verb == b"RCPT" and code(answer).startswith(b"2"):
                accepted += 1
            client_writer.writelines(answer)
            if verb == b"QUIT":
                break
            if verb != b"DATA" or code(answer) != b"354":
                continue
            # The message, up to the line holding only a dot; the command's own CRLF starts it.
            tail = b"\r\n"
            while True:
                block = await client.block()
                seen = tail + block
                end = seen.find(b"\r\n.\r\n")
                if end >= 0:
                    cut = end + 5 - len(tail)
                    server_writer.write(block[:cut])
                    client.buffer = block[cut:] + client.buffer
                    break
                server_writer.write(block)
                await server_writer.drain()
                tail = seen[-4:]
            answers = [await reply(server) for _ in range(max(accepted, 1))]
            refused = [a for a in answers if not code(a).startswith(b"2")]
            client_writer.writelines(refused[0] if refused else answers[-1])
            accepted = 0
            await client_writer.drain()
    except (ConnectionError, asyncio.IncompleteReadError):
        pass
    finally:
        for writer in (client_writer, server_writer):
            writer.close()


async def main():
    listen_port, lmtp_port = int(sys.argv[1]), int(sys.argv[2])
    server = await asyncio.start_server(
        lambda r, w: session(r, w, lmtp_port), "127.0.0.1", listen_port)
    await server.serve_forever()


if __name__ == "__main__":
    asyncio.run(main())
