#!/usr/bin/env python3
"""An OAuth 2.0 authorization server for the tests, on 127.0.0.1 only.

Authorize (code + PKCE S256) with a consent form, token (authorization_code and
refresh_token grants), revocation (RFC 7009) and introspection (RFC 7662), plus a few
/test/ endpoints for the tests to look inside. Prints its port on the first line of output.
"""

import argparse
import base64
import hashlib
import html
import json
import secrets
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

CLIENT_ID = "ferrymail-tests"


class State:
    def __init__(self, access_lifetime, rotate):
        self.lock = threading.RLock()
        self.access_lifetime = access_lifetime
        self.rotate = rotate
        self.codes = {}  # code -> grant
        self.refresh = {}  # refresh token -> {"user", "scope", "active"}
        self.access = {}  # access token -> {"user", "scope", "exp", "refresh"}
        self.counts = {"code_grants": 0, "refresh_grants": 0, "refused": 0,
                       "introspections": 0}

    def issue(self, user, scope, refresh_token=None, named=None):
        access = "at-" + secrets.token_urlsafe(24)
        if refresh_token is None or self.rotate:
            if refresh_token is not None:
                self.refresh[refresh_token]["active"] = False
            refresh_token = "rt-" + secrets.token_urlsafe(24)
            self.refresh[refresh_token] = {"user": user, "scope": scope, "active": True}
        self.access[access] = {"user": user, "scope": scope,
                               "exp": time.time() + self.access_lifetime,
                               "refresh": refresh_token}
        answer = {"access_token": access, "token_type": "Bearer",
                  "expires_in": self.access_lifetime, "refresh_token": refresh_token,
                  "scope": scope}
        if "openid" in scope.split():
            answer["id_token"] = id_token(named or user)
        return answer


def id_token(user):
    """An unsigned OpenID Connect ID token naming user, as the token endpoint hands it out."""
    def part(obj):
        return base64.urlsafe_b64encode(json.dumps(obj).encode()).rstrip(b"=").decode()
    return ".".join([part({"alg": "none"}),
                     part({"sub": "s-" + user, "email": user, "preferred_username": user}),
                     "sig"])


def challenge_of(verifier):
    digest = hashlib.sha256(verifier.encode("ascii")).digest()
    return base64.urlsafe_b64encode(digest).rstrip(b"=").decode("ascii")


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"  # one request a connection: nothing left open at the end
    state = None

    def log_message(self, *args):
        pass

    def send(self, status, body, content_type="application/json", headers=()):
        data = body.encode("utf-8") if isinstance(body, str) else body
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(data)))
        self.send_header("Cache-Control", "no-store")
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(data)

    def json(self, status, obj):
        self.send(status, json.dumps(obj))

    def refuse(self, error, description, status=400):
        with self.state.lock:
            self.state.counts["refused"] += 1
        self.json(status, {"error": error, "error_description": description})

    def form(self):
        length = int(self.headers.get("Content-Length", "0"))
        body = self.rfile.read(length).decode("utf-8")
        return {k: v[0] for k, v in urllib.parse.parse_qs(body, keep_blank_values=True).items()}

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        if url.path.startswith("/hostile/"):
            return self.hostile(url.path[len("/hostile/"):])
        query = {k: v[0] for k, v in urllib.parse.parse_qs(url.query).items()}
        if url.path == "/authorize":
            return self.authorize_page(query)
        if url.path == "/test/counts":
            with self.state.lock:
                return self.json(200, self.state.counts)
        self.send(404, "not here", "text/plain")

    def authorize_page(self, q):
        problems = []
        if q.get("response_type") != "code":
            problems.append("response_type")
        if q.get("client_id") != CLIENT_ID:
            problems.append("client_id")
        # Loopback redirects with any port, by address or by name, as large providers take.
        if not q.get("redirect_uri", "").startswith(("http://127.0.0.1:", "http://localhost:")):
            problems.append("redirect_uri")
        if q.get("code_challenge_method") != "S256" or len(q.get("code_challenge", "")) != 43:
            problems.append("code_challenge")
        if not q.get("state"):
            problems.append("state")
        if problems:
            return self.send(400, "bad authorize request: " + ", ".join(problems), "text/plain")
        fields = "".join('<input type="hidden" name="%s" value="%s">' %
                         (html.escape(k), html.escape(v)) for k, v in q.items())
        page = ('<html><body><form method="post" action="/authorize">%s'
                '<input name="username" value="">'
                '<button name="consent" value="yes">Allow</button></form></body></html>' % fields)
        self.send(200, page, "text/html; charset=utf-8")

    def do_POST(self):
        path = urllib.parse.urlsplit(self.path).path
        f = self.form()
        if path == "/authorize":
            return self.consent(f)
        if path == "/token":
            return self.token(f)
        if path.startswith("/hostile/"):
            return self.hostile(path[len("/hostile/"):])
        if path == "/revoke":
            with self.state.lock:
                token = f.get("token", "")
                if token in self.state.refresh:
                    self.state.refresh[token]["active"] = False
                    for access in self.state.access.values():
                        if access["refresh"] == token:
                            access["exp"] = 0
                if token in self.state.access:
                    self.state.access[token]["exp"] = 0
            return self.send(200, "", "text/plain")
        if path == "/introspect":
            return self.introspect(f)
        if path == "/test/expire-access":
            with self.state.lock:
                for access in self.state.access.values():
                    access["exp"] = 0
            return self.json(200, {})
        self.send(404, "not here", "text/plain")

    def hostile(self, how):
        """Token endpoints that misbehave: a drip of one byte a second, an endless body, one
        that announces more than it may, one that answers late, one with escapes in its
        refusal."""
        try:
            if how == "drip":
                self.send_response(200)
                self.send_header("Content-Type", "application/json")
                self.end_headers()
                while True:
                    self.wfile.write(b" ")
                    self.wfile.flush()
                    time.sleep(1)
            if how == "endless":
                self.send_response(200)
                self.send_header("Content-Type", "application/json")
                self.end_headers()
                chunk = b'{"a":"' + b"x" * 65536
                while True:
                    self.wfile.write(chunk)
            if how == "late":
                time.sleep(20)
                return self.json(200, {"access_token": "at-late", "expires_in": 3600})
            if how == "escapes":
                return self.json(400, {"error": "invalid_request",
                                       "error_description": "\x1b[2K\rEvery message was filed."})
            if how == "control-token":
                return self.json(200, {"access_token": "at-x\r\nA1 LOGOUT", "expires_in": 60})
        except (BrokenPipeError, ConnectionResetError):
            return
        self.send(404, "not here", "text/plain")

    def consent(self, f):
        if f.get("consent") != "yes" or not f.get("username"):
            return self.send(400, "no consent", "text/plain")
        code = "code-" + secrets.token_urlsafe(16)
        with self.state.lock:
            self.state.codes[code] = {"client_id": f["client_id"], "user": f["username"],
                                      "redirect_uri": f["redirect_uri"],
                                      "challenge": f["code_challenge"], "scope": f.get("scope", "")}
        target = f["redirect_uri"] + "?" + urllib.parse.urlencode(
            {"code": code, "state": f["state"]})
        self.send(302, "", "text/plain", [("Location", target)])

    def token(self, f):
        grant = f.get("grant_type")
        with self.state.lock:
            if f.get("client_id") != CLIENT_ID:
                return self.refuse("invalid_client", "unknown client", 401)
            if grant == "authorization_code":
                # A code is good once, whatever happens.
                code = self.state.codes.pop(f.get("code", ""), None)
                if code is None:
                    return self.refuse("invalid_grant", "unknown or used code")
                if f.get("redirect_uri") != code["redirect_uri"]:
                    return self.refuse("invalid_grant", "redirect_uri differs")
                if challenge_of(f.get("code_verifier", "")) != code["challenge"]:
                    return self.refuse("invalid_grant", "code_verifier does not match")
                self.state.counts["code_grants"] += 1
                return self.json(200, self.state.issue(code["user"], code["scope"]))
            if grant == "refresh_token":
                token = f.get("refresh_token", "")
                kept = self.state.refresh.get(token)
                if kept is None or not kept["active"]:
                    return self.refuse("invalid_grant", "refresh token revoked or unknown")
                self.state.counts["refresh_grants"] += 1
                return self.json(200, self.state.issue(kept["user"], kept["scope"], token))
        self.refuse("unsupported_grant_type", str(grant))

    def introspect(self, f):
        token = f.get("token", "")
        if not token:
            # Dovecot sends the token as a bearer header in some modes.
            auth = self.headers.get("Authorization", "")
            token = auth[7:] if auth.startswith("Bearer ") else ""
        with self.state.lock:
            self.state.counts["introspections"] += 1
            access = self.state.access.get(token)
            if access is None or access["exp"] < time.time():
                return self.json(200, {"active": False})
            return self.json(200, {"active": True, "username": access["user"],
                                   "scope": access["scope"], "exp": int(access["exp"]),
                                   "client_id": CLIENT_ID, "token_type": "Bearer"})


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--access-lifetime", type=int, default=3600)
    parser.add_argument("--rotate", action="store_true", help="new refresh token each refresh")
    args = parser.parse_args()
    Handler.state = State(args.access_lifetime, args.rotate)
    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    print(server.server_address[1], flush=True)
    # Ends with the test: its standard input closes when the test lets go of it.
    threading.Thread(target=lambda: (sys.stdin.read(), server.shutdown()), daemon=True).start()
    server.serve_forever()


if __name__ == "__main__":
    main()
