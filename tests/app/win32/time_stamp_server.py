#!/usr/bin/env python3
"""A loopback RFC 3161 time-stamp server for the signing test: answers each POSTed query with
`openssl ts -reply`, signed by the time-stamp certificate of the folder it is given. Prints its
port first.

Usage: time_stamp_server.py DIR   (DIR holds tsa.cnf, tsa.key and tsa.crt)
"""
import http.server
import os
import subprocess
import sys

folder = sys.argv[1]


class Handler(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        query = os.path.join(folder, "query.tsq")
        reply = os.path.join(folder, "reply.tsr")
        with open(query, "wb") as f:
            f.write(self.rfile.read(int(self.headers["Content-Length"])))
        subprocess.run(["openssl", "ts", "-reply", "-config", os.path.join(folder, "tsa.cnf"), "-queryfile", query,
                        "-inkey", os.path.join(folder, "tsa.key"), "-signer", os.path.join(folder, "tsa.crt"),
                        "-out", reply], check=True, capture_output=True)
        with open(reply, "rb") as f:
            body = f.read()
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


server = http.server.HTTPServer(("127.0.0.1", 0), Handler)
print(server.server_port, flush=True)
server.serve_forever()
