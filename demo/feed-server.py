#!/usr/bin/env python3
"""The demo's level-feed server: serves a folder on 127.0.0.1 and a port of the system's
choosing, with the placeholder address the build wrote into the feeds replaced by its own.
Usage: feed-server.py <folder> <port> <port file> <request log>; port 0 takes any free one.
The port file is written once the server listens; each request path is appended to the log
as it is served."""
import http.server
import os
import sys

folder, port, port_file, log_file = sys.argv[1:5]
PLACEHOLDER = b"http://@HOST@"


class Handler(http.server.SimpleHTTPRequestHandler):
    def __init__(self, *args, **kwargs):
        super().__init__(*args, directory=folder, **kwargs)

    def do_GET(self):
        path = self.translate_path(self.path)
        if path.endswith((".rss", ".txt")) and os.path.isfile(path):
            body = open(path, "rb").read().replace(
                PLACEHOLDER, f"http://127.0.0.1:{self.server.server_port}".encode())
            self.send_response(200)
            self.send_header("Content-Type", "application/rss+xml" if path.endswith(".rss")
                             else "text/plain; charset=windows-1252")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
        else:
            super().do_GET()
        with open(log_file, "a") as log:
            log.write(self.path + "\n")

    def log_message(self, *args):
        pass


try:
    server = http.server.ThreadingHTTPServer(("127.0.0.1", int(port)), Handler)
except OSError as error:
    sys.exit(f"feed server: cannot listen on 127.0.0.1:{port}: {error.strerror}")
with open(port_file + ".part", "w") as f:
    f.write(f"{server.server_port}\n")
os.replace(port_file + ".part", port_file)
server.serve_forever()
