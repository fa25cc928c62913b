#!/usr/bin/env python3
"""list_server.py LIST LOG [trusted|untrusted]: theme files on the web for the tests, the fleet
check and the benchmark. /list.qld is LIST, read at each request, 304 to a request that names its
ETag (a path written into LIST.route stands in for it); the other paths are bad answers. Prints
its port first; each request is one JSON line in LOG. /held/NAME logs "held", answers with the
file NAME beside LIST once NAME.go is there, or logs "closed" when the client gives up first; /hop/N is
sent on N times by redirects to a path before it reaches the list."""
import email.utils, gzip, hashlib, http.server, json, os, select, socket, ssl, subprocess, sys
import threading, time

LOG_LOCK = threading.Lock()


def make_certs(folder):
    """A test CA and a certificate it signs (trusted), and a self-signed one (untrusted)."""
    if os.path.exists(os.path.join(folder, "untrusted.pem")):
        return
    os.makedirs(folder, exist_ok=True)
    san = ["-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1"]
    new = ["req", "-newkey", "rsa:2048", "-nodes", "-days", "2"]
    for args in ([*new, "-x509", "-keyout", "ca.key", "-out", "ca.pem", "-subj", "/CN=Test CA"],
                 [*new, "-keyout", "trusted.key", "-out", "trusted.csr", *san],
                 ["x509", "-req", "-in", "trusted.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
                  "-CAcreateserial", "-days", "2", "-copy_extensions", "copy", "-out", "trusted.pem"],
                 [*new, "-x509", "-keyout", "untrusted.key", "-out", "untrusted.pem", *san]):
        subprocess.run(["openssl", *args], cwd=folder, check=True, capture_output=True)


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def setup(self):
        super().setup()
        # Headers and body go in separate writes; without this the body waits for an ACK.
        self.request.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)

    def end_headers(self):
        self.header_bytes = sum(map(len, getattr(self, "_headers_buffer", []))) + 2
        super().end_headers()

    def log(self, entry):
        with LOG_LOCK, open(self.server.log_path, "a") as log:
            log.write(json.dumps(entry) + "\n")

    def answer(self, status, body=b"", headers=(), declare=True):
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header(*(("Content-Length", str(len(body))) if declare else ("Connection", "close")))
        self.close_connection = not declare
        self.end_headers()
        self.wfile.write(body)
        self.log({"path": self.path, "status": status, "body": len(body),
                  "headers": self.header_bytes, "time": time.time(),
                  "if_none_match": self.headers.get("If-None-Match")})

    def held(self, name):
        """Answers once the test lets it go; a client that closes its end first is logged."""
        path = os.path.join(os.path.dirname(self.server.list_path), name)
        self.log({"path": self.path, "status": "held"})
        while not os.path.exists(path + ".go"):
            if select.select([self.request], [], [], 0.02)[0] and not self.request.recv(1, socket.MSG_PEEK):
                self.log({"path": self.path, "status": "closed"})
                self.close_connection = True
                return
        with open(path, "rb") as f:
            self.answer(200, f.read(), [("Content-Type", "text/plain")])

    def hop(self, left):
        if left == 0:
            return self.serve_list()
        self.answer(302, b"", [("Location", "/hop/%d" % (left - 1))])

    def serve_list(self):
        with open(self.server.list_path, "rb") as f:
            body = f.read()
        etag = '"%s"' % hashlib.sha1(body).hexdigest()[:16]
        modified = email.utils.formatdate(os.stat(self.server.list_path).st_mtime, usegmt=True)
        headers = [("ETag", etag), ("Last-Modified", modified), ("Content-Type", "text/plain")]
        fresh = self.headers.get("If-None-Match") == etag
        self.answer(304 if fresh else 200, b"" if fresh else body, headers)

    def endless(self):
        """A body that is promised and never comes whole: a line now and then, for ever."""
        self.send_response(200)
        self.send_header("Content-Length", "1000000")
        try:
            self.end_headers()
            while True:
                self.wfile.write(b"http://site.example/slow\r\n")
                time.sleep(0.2)
        except OSError:
            pass

    def do_GET(self):
        path = self.path.split("?")[0]
        route = self.server.list_path + ".route"
        if path == "/list.qld" and os.path.exists(route):
            with open(route) as f:
                path = f.read().strip()
        big = b"http://site.example/\r\n" * 100000  # 2.2 MB
        go = lambda where: lambda: self.answer(302, b"", [("Location", where)])
        routes = {
            "/list.qld": self.serve_list,
            "/endless": self.endless,
            "/404": lambda: self.answer(404, b"not here"),
            "/500": lambda: self.answer(500, b"broken"),
            "/304": lambda: self.answer(304),
            "/big": lambda: self.answer(200, big),
            "/big-undeclared": lambda: self.answer(200, big, declare=False),
            "/html": lambda: self.answer(200, b"<!DOCTYPE html><p>Hi", [("Content-Type", "text/html")]),
            "/html-as-text": lambda: self.answer(200, b"\n <html><body>Hi</body></html>"),
            "/binary": lambda: self.answer(200, b"\x89PNG\r\n\x1a\n\0\0\0\rIHDR"),
            "/gzip": lambda: self.answer(200, gzip.compress(b"http://site.example/gz\r\n"),
                                         [("Content-Encoding", "gzip")]),
            "/bomb": lambda: self.answer(200, gzip.compress(b"\n" * 2**26),
                                         [("Content-Encoding", "gzip")]),
            "/loop": go("/loop"),
            "/to-list": go("/list.qld"),
            "/to-file": go("file:///etc/passwd"),
            "/to-ftp": go("ftp://127.0.0.1/list"),
        }
        if path.startswith("/held/"):
            return self.held(path[len("/held/"):])
        if path.startswith("/hop/"):
            return self.hop(int(path[len("/hop/"):]))
        routes.get(path, lambda: self.answer(404))()


def main():
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.list_path, server.log_path, tls = (sys.argv[1:] + ["none"])[:3]
    if tls != "none":
        certs = os.path.join(os.path.dirname(os.path.abspath(server.list_path)), "certs")
        make_certs(certs)
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(*(os.path.join(certs, tls + e) for e in (".pem", ".key")))
        server.socket = context.wrap_socket(server.socket, server_side=True)
    print(server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
