#!/usr/bin/env python3
"""HTTP servers for the update and feed tests, all bound to 127.0.0.1, each on
a free port:

  static  Python's http.server file handler over ROOT (tests write their
          manifests, files and feeds there)
  slow    GET /<bytes>/<bytes per second>: a 200 answer of that many bytes,
          sent slowly
  error   GET /<status>/<anything>: that status (404, 500...) with a small
          HTML body
  silent  accepts connections and never answers

Writes "name=port" lines to PORTFILE once all listen, then serves until
ended with SIGTERM or SIGINT.

usage: http-test-servers.py ROOT PORTFILE
"""
import http.server
import os
import signal
import socket
import sys
import threading
import time


class Quiet:
    def log_message(self, *args):
        pass


class StaticHandler(Quiet, http.server.SimpleHTTPRequestHandler):
    pass


class SlowHandler(Quiet, http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        try:
            size, rate = (int(p) for p in self.path.strip('/').split('/')[:2])
        except ValueError:
            self.send_error(400)
            return
        self.send_response(200)
        self.send_header('Content-Type', 'application/octet-stream')
        self.send_header('Content-Length', str(size))
        self.end_headers()
        chunk = max(1, rate // 10)
        sent = 0
        try:
            while sent < size:
                n = min(chunk, size - sent)
                self.wfile.write(b's' * n)
                self.wfile.flush()
                sent += n
                time.sleep(0.1)
        except OSError:
            pass  # the client went away (a cancel)


class ErrorHandler(Quiet, http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        try:
            status = int(self.path.strip('/').split('/')[0])
        except ValueError:
            status = 500
        body = ('<html><body>error %d</body></html>' % status).encode()
        self.send_response(status)
        self.send_header('Content-Type', 'text/html')
        self.send_header('Content-Length', str(len(body)))
        self.end_headers()
        self.wfile.write(body)


def silent_server():
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind(('127.0.0.1', 0))
    listener.listen(64)
    held = []

    def accept():
        while True:
            conn, _ = listener.accept()
            held.append(conn)  # kept open, never read or answered

    threading.Thread(target=accept, daemon=True).start()
    return listener.getsockname()[1]


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    root, port_file = sys.argv[1], sys.argv[2]
    os.makedirs(root, exist_ok=True)

    def static(*args, **kwargs):
        return StaticHandler(*args, directory=root, **kwargs)

    ports = {}
    for name, handler in (('static', static), ('slow', SlowHandler), ('error', ErrorHandler)):
        server = http.server.ThreadingHTTPServer(('127.0.0.1', 0), handler)
        server.daemon_threads = True
        threading.Thread(target=server.serve_forever, daemon=True).start()
        ports[name] = server.server_address[1]
    ports['silent'] = silent_server()

    with open(port_file + '.tmp', 'w') as f:
        f.writelines('%s=%d\n' % item for item in ports.items())
    os.replace(port_file + '.tmp', port_file)

    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())
    while not stop.wait(1):
        pass


if __name__ == '__main__':
    main()
