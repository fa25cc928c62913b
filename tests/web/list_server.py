#!/usr/bin/env python3
"""A web server for theme files, for the tests, the fleet check and the benchmark.

/list.qld serves the file given with --list, read at each request, with an ETag and a
Last-Modified, and answers 304 to a request that names them unchanged. The other paths give the
bad answers that a reader of lists must survive. Prints its port on the first line of standard
output; each request is one JSON line in the --log file.
"""
import argparse
import email.utils
import gzip
import hashlib
import http.server
import json
import os
import socket
import socketserver
import ssl
import subprocess
import sys
import threading
import time

LOG_LOCK = threading.Lock()


def make_certs(folder):
    """A test CA, a server certificate it signs and a self-signed one, all for 127.0.0.1."""
    if os.path.exists(os.path.join(folder, "untrusted.pem")):
        return
    os.makedirs(folder, exist_ok=True)

    def run(*args):
        subprocess.run(["openssl", *args], cwd=folder, check=True, capture_output=True)

    subj = ["-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1"]
    run("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-keyout", "ca.key",
        "-out", "ca.pem", "-subj", "/CN=Quillon test CA")
    run("req", "-newkey", "rsa:2048", "-nodes", "-keyout", "trusted.key", "-out", "trusted.csr",
        *subj)
    with open(os.path.join(folder, "ext.cnf"), "w") as ext:
        ext.write("subjectAltName=IP:127.0.0.1\n")
    run("x509", "-req", "-in", "trusted.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
        "-CAcreateserial", "-days", "2", "-extfile", "ext.cnf", "-out", "trusted.pem")
    run("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-keyout",
        "untrusted.key", "-out", "untrusted.pem", *subj)


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def setup(self):
        super().setup()
        # Headers and body go in separate writes; without this the body waits for an ACK.
        self.request.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)

    def end_headers(self):
        self.header_bytes = sum(map(len, getattr(self, "_headers_buffer", []))) + 2
        super().end_headers()

    def record(self, status, body_bytes):
        entry = {"path": self.path, "status": status, "body": body_bytes,
                 "headers": self.header_bytes,
                 "if_none_match": self.headers.get("If-None-Match"),
                 "if_modified_since": self.headers.get("If-Modified-Since"),
                 "client": self.headers.get("X-Screen") or self.client_address[0]}
        if self.server.log_path:
            with LOG_LOCK, open(self.server.log_path, "a") as log:
                log.write(json.dumps(entry) + "\n")

    def answer(self, status, body=b"", headers=(), declare=True):
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        if declare:
            self.send_header("Content-Length", str(len(body)))
        else:
            self.send_header("Connection", "close")
            self.close_connection = True
        self.end_headers()
        self.wfile.write(body)
        self.record(status, len(body))

    def serve_list(self):
        with open(self.server.list_path, "rb") as f:
            body = f.read()
        etag = '"%s"' % hashlib.sha1(body).hexdigest()[:16]
        modified = email.utils.formatdate(os.stat(self.server.list_path).st_mtime, usegmt=True)
        headers = [("ETag", etag), ("Last-Modified", modified), ("Content-Type", "text/plain")]
        if self.headers.get("If-None-Match") == etag:
            self.answer(304, b"", headers)
        else:
            self.answer(200, body, headers)

    def do_GET(self):
        path = self.path.split("?")[0]
        # A test turns the list's own address into a bad one by naming that in <list>.route.
        route = self.server.list_path + ".route"
        if path == "/list.qld" and os.path.exists(route):
            with open(route) as f:
                path = f.read().strip()
        big = b"http://site.example/\r\n" * (self.server.big_bytes // 22 + 1)
        routes = {
            "/404": lambda: self.answer(404, b"not here", [("Content-Type", "text/plain")]),
            "/500": lambda: self.answer(500, b"broken", [("Content-Type", "text/plain")]),
            "/big": lambda: self.answer(200, big),
            "/big-undeclared": lambda: self.answer(200, big, declare=False),
            "/html": lambda: self.answer(200, b"<!DOCTYPE html><p>Moved</p>",
                                         [("Content-Type", "text/html")]),
            "/html-as-text": lambda: self.answer(200, b"\n <html><body>Hi</body></html>"),
            "/binary": lambda: self.answer(200, b"\x89PNG\r\n\x1a\n\0\0\0\rIHDR",
                                           [("Content-Type", "application/octet-stream")]),
            "/gzip": lambda: self.answer(200, gzip.compress(b"http://site.example/gz\r\n"),
                                         [("Content-Encoding", "gzip")]),
            "/bomb": lambda: self.answer(200, gzip.compress(b"\n" * (self.server.big_bytes * 4)),
                                         [("Content-Encoding", "gzip")]),
            "/loop": lambda: self.answer(302, b"", [("Location", "/loop")]),
            "/to-list": lambda: self.answer(302, b"", [("Location", "/list.qld")]),
            "/to-file": lambda: self.answer(302, b"", [("Location", "file:///etc/passwd")]),
            "/to-ftp": lambda: self.answer(302, b"", [("Location", "ftp://127.0.0.1/list")]),
        }
        if path == "/list.qld":
            self.serve_list()
        elif path == "/endless":
            self.endless()
        elif path in routes:
            routes[path]()
        else:
            self.answer(404, b"")

    def endless(self):
        """A body that is promised and never comes: a line, then nothing, then a line..."""
        self.send_response(200)
        self.send_header("Content-Length", "1000000")
        self.end_headers()
        self.record(200, 0)
        try:
            while True:
                self.wfile.write(b"http://site.example/slow\r\n")
                self.wfile.flush()
                time.sleep(0.2)
        except OSError:
            pass


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--list", required=True)
    parser.add_argument("--log")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--certs", help="folder for the test's certificates")
    parser.add_argument("--tls", choices=["trusted", "untrusted"])
    parser.add_argument("--big-bytes", type=int, default=2 * 1024 * 1024)
    args = parser.parse_args()
    server = Server(("127.0.0.1", args.port), Handler)
    server.list_path, server.log_path, server.big_bytes = args.list, args.log, args.big_bytes
    if args.tls:
        make_certs(args.certs)
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(os.path.join(args.certs, args.tls + ".pem"),
                                os.path.join(args.certs, args.tls + ".key"))
        server.socket = context.wrap_socket(server.socket, server_side=True)
    print(server.server_address[1], flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    sys.exit(0)


if __name__ == "__main__":
    main()
