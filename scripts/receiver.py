#!/usr/bin/env python3
"""Local receiver for the reports the web-post double forwards, for the demo.

usage: receiver.py PORT OUTFILE [--count N] [--timeout SECONDS]

Listens on 127.0.0.1:PORT (0 picks a free port) and prints the port on one line. For each
POST it appends to OUTFILE the request's path and query on one line, then the body and a
line break, and answers 200. Stops after N requests (default 1) or after the timeout
(default 30 s, at most 60 s), whichever comes first.
"""
import argparse
import http.server
import sys
import time


class Handler(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        length = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(length)
        with open(self.server.outfile, "ab") as out:
            out.write(self.path.encode("utf-8") + b"\n" + body + b"\n")
        self.server.received += 1
        self.send_response(200)
        self.send_header("Content-Length", "0")
        self.end_headers()

    def log_message(self, *args):
        pass  # the demo prints the file, not a request log


def main():
    parser = argparse.ArgumentParser(description="Receive forwarded web posts.")
    parser.add_argument("port", type=int)
    parser.add_argument("outfile")
    parser.add_argument("--count", type=int, default=1)
    parser.add_argument("--timeout", type=float, default=30.0)
    args = parser.parse_args()

    server = http.server.HTTPServer(("127.0.0.1", args.port), Handler)
    server.outfile = args.outfile
    server.received = 0
    print(server.server_address[1], flush=True)
    # Bounded whatever the caller asks: a run under emulation may take minutes.
    deadline = time.monotonic() + min(args.timeout, 900.0)
    while server.received < args.count:
        left = deadline - time.monotonic()
        if left <= 0:
            break
        server.timeout = left
        server.handle_request()
    server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
