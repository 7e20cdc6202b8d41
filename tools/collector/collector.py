#!/usr/bin/env python3
"""A tiny report collector on the loopback interface, for tests and the demo.

usage: collector.py [--port N] [--mode ok|redirect|error|slow] --out DIR
                    [--lifetime SECONDS] [--delay SECONDS]

It listens on 127.0.0.1 only (port 0 picks a free port) and prints the port
as the first line of its standard output. It stops by itself after
--lifetime seconds (default 60), so a test that dies cannot leave it behind.

Modes, for a POST:
  ok        200 when the upload is sound (below); 400 when it is not
  redirect  302 to /moved; a GET of /moved answers 200, so that a client
            which followed the redirect would be told "OK" for a GET
  error     500
  slow      like ok, but only after --delay seconds (default 10)

A sound upload has a Content-Length (at most 128 MiB), the content type
application/xml, an Idempotency-Key that is the lower-case hex SHA-256 of the
body bytes, and a body that splits into one or more Log_Error documents.

How the body splits into documents. The body is UTF-8 text: one XML document
per product version, one after another, each a single Log_Error element.
Between documents (and around them) there is only white space, usually
CR LF. No document carries a DOCTYPE; a document may start with an XML
declaration (<?xml ...?>), which is dropped. So a collector wraps the text in
one element of its own, parses that, and takes each child element as one
document. Parsing the wrapped text also refuses any DTD, so no entity of a
sender's choosing is ever expanded.

What it keeps, in DIR:
  attempts.jsonl       one line per request: method, path, key, status answered
  NNNN/headers.json    for each accepted upload: its request headers
  NNNN/body.xml        its body, byte for byte
  NNNN/doc-K.xml       its documents, one file each
  keys.txt             the keys accepted so far; an upload whose key is in
                       it is answered 200 and not stored again (the client
                       was killed after the upload, before marking it sent)
"""
import argparse
import hashlib
import json
import os
import re
import sys
import threading
import time
import xml.etree.ElementTree as ElementTree
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

MAX_BODY = 128 * 1024 * 1024
KEY_PATTERN = re.compile(r"[0-9a-f]{64}")
DECLARATION = re.compile(r"<\?xml[^?]*\?>")


def split_documents(body):
    """The Log_Error documents of a body, each as its own UTF-8 XML text;
    ValueError when the body is not a sequence of them."""
    text = DECLARATION.sub("", body.decode("utf-8"))
    try:
        wrapper = ElementTree.fromstring("<reports>" + text + "</reports>")
    except ElementTree.ParseError as error:
        raise ValueError(f"not well-formed: {error}") from None
    if (wrapper.text or "").strip() or any((child.tail or "").strip() for child in wrapper):
        raise ValueError("text between documents")
    documents = list(wrapper)
    if not documents or any(child.tag != "Log_Error" for child in documents):
        raise ValueError("the documents must be Log_Error elements")
    return [ElementTree.tostring(child, encoding="unicode").strip().encode("utf-8")
            for child in documents]


class Store:
    """The collector's folder; one lock serialises every change of it."""

    def __init__(self, folder):
        self.folder = folder
        self.lock = threading.Lock()
        os.makedirs(folder, exist_ok=True)
        keys_path = os.path.join(folder, "keys.txt")
        self.keys = set()
        if os.path.exists(keys_path):
            with open(keys_path, encoding="ascii") as keys:
                self.keys = {line.strip() for line in keys if line.strip()}

    def note_attempt(self, entry):
        with self.lock, open(os.path.join(self.folder, "attempts.jsonl"), "a") as attempts:
            attempts.write(json.dumps(entry) + "\n")

    def accept(self, key, headers, body, documents):
        """False when the key was accepted before: the upload is a repeat."""
        with self.lock:
            if key in self.keys:
                return False
            number = sum(1 for name in os.listdir(self.folder) if name.isdigit()) + 1
            upload = os.path.join(self.folder, f"{number:04d}")
            os.makedirs(upload)
            with open(os.path.join(upload, "headers.json"), "w") as file:
                json.dump(headers, file, indent=1)
            with open(os.path.join(upload, "body.xml"), "wb") as file:
                file.write(body)
            for index, document in enumerate(documents, 1):
                with open(os.path.join(upload, f"doc-{index}.xml"), "wb") as file:
                    file.write(document)
            # The key is kept last: a collector killed before this line
            # stores the upload again on the client's next try, never loses it.
            with open(os.path.join(self.folder, "keys.txt"), "a") as keys:
                keys.write(key + "\n")
            self.keys.add(key)
            return True


class Handler(BaseHTTPRequestHandler):
    server_version = "collector/1"
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass  # attempts.jsonl is the record

    def answer(self, status, text, extra=()):
        payload = (text + "\n").encode("utf-8")
        try:
            self.send_response(status)
            for name, value in extra:
                self.send_header(name, value)
            self.send_header("Content-Type", "text/plain; charset=utf-8")
            self.send_header("Content-Length", str(len(payload)))
            self.end_headers()
            self.wfile.write(payload)
        except OSError:
            pass  # the client gave up waiting (slow mode)
        self.server.store.note_attempt({
            "method": self.command, "path": self.path, "status": status, "why": text,
            "key": self.headers.get("Idempotency-Key"),
            "client": self.headers.get("X-Client-Id")})

    def do_GET(self):
        if self.path == "/moved":
            self.answer(200, "a GET is no upload")
        else:
            self.answer(404, "not here")

    def do_POST(self):
        length = self.headers.get("Content-Length")
        if length is None or not length.isdigit():
            self.close_connection = True
            return self.answer(411, "Content-Length required")
        if int(length) > MAX_BODY:
            self.close_connection = True
            return self.answer(413, "too large")
        body = self.rfile.read(int(length))
        mode = self.server.mode
        if mode == "redirect":
            return self.answer(302, "moved", [("Location", "/moved")])
        if mode == "error":
            return self.answer(500, "collector failure (on purpose)")
        if mode == "slow":
            time.sleep(self.server.delay)
        self.accept(body)

    def accept(self, body):
        content_type = self.headers.get("Content-Type", "")
        if content_type.split(";")[0].strip().lower() != "application/xml":
            return self.answer(400, "Content-Type must be application/xml")
        key = self.headers.get("Idempotency-Key", "")
        if not KEY_PATTERN.fullmatch(key) or key != hashlib.sha256(body).hexdigest():
            return self.answer(400, "Idempotency-Key is not the SHA-256 of the body")
        try:
            documents = split_documents(body)
        except (ValueError, UnicodeDecodeError) as error:
            return self.answer(400, f"not a report: {error}")
        headers = {name: value for name, value in self.headers.items()}
        if self.server.store.accept(key, headers, body, documents):
            return self.answer(200, f"stored {len(documents)} document(s)")
        self.answer(200, "already stored")


def main():
    parser = argparse.ArgumentParser(description="A report collector on 127.0.0.1.")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--mode", choices=["ok", "redirect", "error", "slow"], default="ok")
    parser.add_argument("--out", required=True)
    parser.add_argument("--lifetime", type=float, default=60.0)
    parser.add_argument("--delay", type=float, default=10.0)
    options = parser.parse_args()
    if not 0 <= options.port <= 65535 or not 0 < options.lifetime <= 3600:
        parser.error("--port 0..65535, --lifetime 1..3600")

    server = ThreadingHTTPServer(("127.0.0.1", options.port), Handler)
    server.daemon_threads = True
    server.mode, server.delay, server.store = options.mode, options.delay, Store(options.out)
    print(server.server_address[1], flush=True)
    timer = threading.Timer(options.lifetime, server.shutdown)
    timer.daemon = True
    timer.start()
    try:
        server.serve_forever(poll_interval=0.2)
    except KeyboardInterrupt:
        pass
    server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
