#!/usr/bin/env python3
"""Plays the person's browser in a sign-in: opens the authorize URL, posts the consent on the
form it gets, and follows the redirect to the program's loopback listener. Prints the page the
listener answered with, then whether a second request to the listener got through.

  play_browser.py URL USER [--state VALUE]   (--state: what to put in place of the state)
"""

import argparse
import http.client
import re
import socket
import sys
import urllib.parse


def loopback(hostname):
    """The address to connect to. Browsers take localhost to the loopback themselves, without
    the resolver: a chroot may have no /etc/hosts to find it in."""
    assert hostname in ("127.0.0.1", "localhost", "::1"), "loopback only: " + hostname
    return "127.0.0.1" if hostname == "localhost" else hostname


def request(method, url, body=None):
    parts = urllib.parse.urlsplit(url)
    connection = http.client.HTTPConnection(loopback(parts.hostname), parts.port, timeout=20)
    target = parts.path + ("?" + parts.query if parts.query else "")
    headers = {"Content-Type": "application/x-www-form-urlencoded"} if body else {}
    headers["Host"] = parts.netloc
    connection.request(method, target, body=body, headers=headers)
    response = connection.getresponse()
    return response.status, response.getheader("Location"), response.read().decode("utf-8")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("url")
    parser.add_argument("user")
    parser.add_argument("--state")
    args = parser.parse_args()

    status, location, page = request("GET", args.url)
    # The program opens a page of its own listener, which forwards to the provider once.
    start = args.url
    if status == 302:
        print("start page: forwarded")
        args.url = location
        status, _, page = request("GET", args.url)
    if status != 200:
        print("authorize refused:", status, page)
        return 1
    fields = dict(re.findall(r'<input type="hidden" name="([^"]*)" value="([^"]*)">', page))
    fields = {k: v.replace("&amp;", "&").replace("&quot;", '"') for k, v in fields.items()}
    fields.update(username=args.user, consent="yes")
    base = urllib.parse.urlsplit(args.url)
    consent_url = "%s://%s/authorize" % (base.scheme, base.netloc)
    status, location, page = request("POST", consent_url, urllib.parse.urlencode(fields))
    if status != 302:
        print("consent refused:", status, page)
        return 1
    if args.state is not None:
        parts = urllib.parse.urlsplit(location)
        query = dict(urllib.parse.parse_qsl(parts.query))
        query["state"] = args.state
        location = urllib.parse.urlunsplit(parts._replace(query=urllib.parse.urlencode(query)))
    status, _, page = request("GET", location)
    print("listener:", status, page.replace("\n", " "))
    listener = urllib.parse.urlsplit(location)
    try:
        with socket.create_connection((loopback(listener.hostname), listener.port),
                                      timeout=5) as again:
            again.sendall(b"GET /?code=x&state=y HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")
            print("second request: answered", again.recv(100))
    except OSError as error:
        print("second request: refused", error.__class__.__name__)
    return 0


if __name__ == "__main__":
    sys.exit(main())
