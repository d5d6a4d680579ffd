#!/usr/bin/env python3
"""Local HTTP and ICY servers for the network tests, on 127.0.0.1 only.

Prints "PORT <n>" once it listens, then serves until killed. Paths:
  /radio            ICY radio ("ICY 200 OK"), MP3 128 kbit/s, metadata every
                    second of audio, the StreamTitle changing every 2 seconds
                    of audio ("Artist - Song N"; every third title in GBK)
  /radio-ogg        the same in Ogg Vorbis, HTTP status line (Icecast style)
  /files/NAME       a fixture with Content-Length
  /nolength/NAME    without Content-Length, closed at the end
  /slow/NAME        with Content-Length, sent at half the stream's rate
  /paced/NAME       with Content-Length, sent at twice the stream's rate
  /cut/NAME         announces the whole length, sends a third, then closes
  /silent           accepts and never answers
  /endless-headers  a header block that never ends
  /badmeta          a radio whose metadata blocks are malformed or oversized
  /radio.pls, /radio.m3u   playlists that point at /radio
  /redirect         302 to /radio
Query "burst=S" sends the first S seconds at once (radios), "rate=R" scales
the sending rate.
"""
import os
import socket
import socketserver
import sys
import threading
import time
import urllib.parse

FIXTURES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fixtures", "net")
METAINT = 16000  # one second of the MP3 radio's audio


def fixture(name):
    with open(os.path.join(FIXTURES, name), "rb") as f:
        return f.read()


def title(n):
    text = "Artist - Song %d" % n
    if n % 3 == 2:
        return ("电台 - 歌曲 %d" % n).encode("gbk")
    return text.encode("ascii")


def meta_block(text):
    body = b"StreamTitle='" + text + b"';StreamUrl='';"
    body += b"\0" * (-len(body) % 16)
    return bytes([len(body) // 16]) + body


class Handler(socketserver.StreamRequestHandler):
    def handle(self):
        try:
            self.serve()
        except (BrokenPipeError, ConnectionResetError, socket.timeout):
            pass

    def serve(self):
        line = self.rfile.readline(4096).decode("latin-1")
        parts = line.split()
        if len(parts) < 2:
            return
        headers = {}
        while True:
            h = self.rfile.readline(4096).decode("latin-1").strip()
            if not h:
                break
            k, _, v = h.partition(":")
            headers[k.strip().lower()] = v.strip()
        url = urllib.parse.urlsplit(parts[1])
        query = dict(urllib.parse.parse_qsl(url.query))
        path = url.path
        self.rate = float(query.get("rate", "1"))
        self.burst = float(query.get("burst", "0"))
        self.want_meta = headers.get("icy-metadata") == "1"
        port = self.server.server_address[1]
        if path == "/radio":
            self.radio(fixture("radio.mp3"), 16000, b"ICY 200 OK", loop=True, metaint=METAINT)
        elif path == "/radio-ogg":
            data = fixture("radio.ogg")
            bps = len(data) / 12.0
            self.radio(data, bps, b"HTTP/1.0 200 OK", loop=False, metaint=int(bps), ctype=b"application/ogg")
        elif path == "/badmeta":
            self.badmeta(fixture("radio.mp3"))
        elif path.startswith("/files/"):
            self.file(fixture(path[7:]), length=True)
        elif path.startswith("/nolength/"):
            self.file(fixture(path[10:]), length=False)
        elif path.startswith("/paced/"):
            self.file(fixture(path[7:]), length=True, bps=16000 * 2)
        elif path.startswith("/slow/"):
            data = fixture(path[6:])
            self.file(data, length=True, bps=16000 * 0.5)
        elif path.startswith("/cut/"):
            data = fixture(path[5:])
            self.file(data, length=True, stop=len(data) // 3)
        elif path == "/silent":
            time.sleep(600)
        elif path == "/endless-headers":
            self.wfile.write(b"HTTP/1.0 200 OK\r\n")
            for i in range(100000):
                self.wfile.write(b"X-Filler-%d: %s\r\n" % (i, b"x" * 200))
        elif path in ("/radio.pls", "/radio.m3u"):
            target = "http://127.0.0.1:%d/radio?burst=%s" % (port, query.get("burst", "2"))
            if path.endswith(".pls"):
                body = "[playlist]\nNumberOfEntries=1\nFile1=%s\nTitle1=Local\n" % target
                ctype = "audio/x-scpls"
            else:
                body = "#EXTM3U\n#EXTINF:-1,Local\n%s\n" % target
                ctype = "audio/x-mpegurl"
            self.send_head(b"HTTP/1.0 200 OK", [b"Content-Type: " + ctype.encode(),
                                                b"Content-Length: %d" % len(body)])
            self.wfile.write(body.encode())
        elif path == "/redirect":
            self.send_head(b"HTTP/1.0 302 Found", [b"Location: /radio?burst=2"])
        else:
            self.send_head(b"HTTP/1.0 404 Not Found", [b"Content-Length: 0"])

    def send_head(self, status, lines):
        self.wfile.write(status + b"\r\n" + b"".join(l + b"\r\n" for l in lines) + b"\r\n")

    def paced(self, chunks, bps):
        """Writes (bytes, is_audio) chunks, audio paced at bps after the burst."""
        start = time.monotonic()
        sent = 0.0
        for data, audio in chunks:
            self.wfile.write(data)
            if audio:
                sent += len(data)
                due = start + sent / (bps * self.rate) - self.burst
                delay = due - time.monotonic()
                if delay > 0:
                    time.sleep(delay)

    def radio(self, data, bps, status, loop, metaint, ctype=b"audio/mpeg"):
        head = [b"Content-Type: " + ctype, b"icy-name: Local Radio", b"icy-br: %d" % round(bps * 8 / 1000)]
        if self.want_meta:
            head.append(b"icy-metaint: %d" % metaint)
        self.send_head(status, head)

        def source():
            while True:
                yield data
                if not loop:
                    return

        def chunks():
            sent = 0
            for block in source():
                pos = 0
                while pos < len(block):
                    step = min(4000, len(block) - pos)
                    if self.want_meta:
                        step = min(step, metaint - sent % metaint)
                    yield block[pos:pos + step], True
                    pos += step
                    sent += step
                    if self.want_meta and sent % metaint == 0:
                        # every 2 s of audio a new title; metadata each second
                        n = int(sent / bps) // 2
                        yield meta_block(title(n)) if (sent // metaint) % 2 == 1 else b"\0", False
        self.paced(chunks(), bps)

    def badmeta(self, data):
        self.send_head(b"ICY 200 OK", [b"icy-metaint: 4000", b"icy-br: 128"])
        blocks = [
            bytes([255]) + b"A" * 4080,                              # largest block, no NUL, no key
            meta_block(b"Unterminated"),                               # plain title
            bytes([2]) + b"StreamTitle=';" + b"\0" * 18,             # ";" right after the key
            bytes([1]) + b"StreamTitle='abc",                        # ends inside the value
            bytes([3]) + b"\xff\xfe\x00StreamTitle='x'" + b"\0" * 30,  # NUL before the key
        ]
        def chunks():
            i = 0
            while True:
                for pos in range(0, len(data), 4000):
                    yield data[pos:pos + 4000].ljust(4000, b"\0"), True
                    yield blocks[i % len(blocks)], False
                    i += 1
        self.paced(chunks(), 16000)

    def file(self, data, length, bps=None, stop=None):
        head = [b"Content-Type: audio/mpeg"]
        if length:
            head.append(b"Content-Length: %d" % len(data))
        self.send_head(b"HTTP/1.0 200 OK", head)
        end = stop if stop is not None else len(data)
        if bps is None:
            self.wfile.write(data[:end])
        else:
            self.paced(((data[p:min(p + 2000, end)], True) for p in range(0, end, 2000)), bps)
        self.wfile.flush()


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    server = Server(("127.0.0.1", 0), Handler)
    print("PORT %d" % server.server_address[1], flush=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    # Ends with the test that started it (stdin closes).
    sys.stdin.read()
    server.shutdown()


if __name__ == "__main__":
    main()
