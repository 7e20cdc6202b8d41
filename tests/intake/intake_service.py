"""report-intake as the tests run it: a program on a free port of 127.0.0.1,
reports written the way the library writes them, and raw HTTP for what a
polite client never sends. Standard library only."""
import hashlib
import http.client
import json
import os
import signal
import socket
import subprocess
import threading
import time
import uuid


def item(kind="Error", code=20000, message="Cannot open file", value="D:\\media\\a.avi", count=1,
         dll="3.2.1.0", app="1.0.0.0"):
    return dict(kind=kind, code=code, message=message, value=value, count=count, dll=dll, app=app)


def escape(text):
    for plain, markup in [("&", "&amp;"), ("<", "&lt;"), (">", "&gt;"), ('"', "&quot;"),
                          ("\t", "&#9;"), ("\n", "&#10;"), ("\r", "&#13;")]:
        text = text.replace(plain, markup)
    return text


def document(client, items, product="1.0.0.0"):
    """One Log_Error document as the DOM under Wine writes it."""
    head = f'<Log_Error ProductVer="{escape(product)}" UUID="{escape(client)}"'
    if not items:
        return head + "/>\r\n\r\n"
    lines = [head + ">"]
    for it in items:
        value = "" if it["value"] is None else f' Value="{escape(it["value"])}"'
        lines.append(f'\t<{it["kind"]} ErrorCode="{it["code"]}" Message="{escape(it["message"])}"'
                     f'{value} Count="{it["count"]}" DLLVer="{escape(it["dll"])}"'
                     f' AppVer="{escape(it["app"])}"/>')
    return "\r\n".join(lines) + "\r\n</Log_Error>\r\n\r\n"


def new_client():
    return "{" + str(uuid.uuid4()).upper() + "}"


def upload_headers(body, client=None):
    headers = {"Content-Type": "application/xml; charset=utf-8",
               "Idempotency-Key": hashlib.sha256(body).hexdigest()}
    if client:
        headers["X-Client-Id"] = client
    return headers


class Service:
    """report-intake serve on 127.0.0.1:0 until stop()."""

    def __init__(self, program, folder, *extra, token="secret-token", store=None):
        os.makedirs(folder, exist_ok=True)
        self.folder = folder
        self.token = token
        self.db = os.path.join(folder, "intake.db")
        tokens = []
        if token is not None:
            tokens = ["--token-file", os.path.join(folder, "tokens")]
            with open(tokens[1], "w") as file:
                file.write(f"\n  {token}  \nanother\n")
        self.log = open(os.path.join(folder, "service.log"), "ab")
        self.process = subprocess.Popen(
            [program, "serve", "--listen", "127.0.0.1:0", "--store", store or "sqlite:" + self.db,
             *tokens, *extra], stdout=subprocess.PIPE, stderr=self.log)
        line = []
        reader = threading.Thread(target=lambda: line.append(self.process.stdout.readline()))
        reader.start()
        reader.join(30)
        if not line or not line[0].startswith(b"listening on http://"):
            self.process.kill()
            raise RuntimeError(f"report-intake did not start: {line}")
        self.host, port = line[0].decode().strip().rsplit("/", 1)[-1].split(":")
        self.port = int(port)

    def stop(self):
        """SIGTERM; the exit status."""
        self.process.send_signal(signal.SIGTERM)
        try:
            return self.process.wait(30)
        finally:
            self.process.stdout.close()
            self.log.close()

    def kill(self):
        self.process.kill()
        self.process.wait()
        self.process.stdout.close()
        self.log.close()

    def request(self, method, path, body=None, headers=None, timeout=30):
        """(status, headers, body text) over a fresh connection."""
        connection = http.client.HTTPConnection(self.host, self.port, timeout=timeout)
        try:
            connection.request(method, path, body=body, headers=headers or {})
            response = connection.getresponse()
            return response.status, dict(response.getheaders()), response.read().decode()
        finally:
            connection.close()

    def post(self, body, headers=None, client=None):
        if isinstance(body, str):
            body = body.encode()
        return self.request("POST", "/reports", body,
                            upload_headers(body, client) if headers is None else headers)

    def api(self, path, token=True):
        headers = {"Authorization": f"Bearer {self.token}"} if token else {}
        status, _, text = self.request("GET", path, headers=headers)
        return status, (json.loads(text) if status == 200 and path.startswith("/api") else text)

    def items(self, **query):
        path = "/api/items?limit=1000" + "".join(f"&{k}={v}" for k, v in query.items())
        status, page = self.api(path)
        assert status == 200, (status, page)
        return page["items"]

    def counts(self):
        """{(product, message, value): (count, clients)} of every item."""
        return {(i["product"], i["message"], i["value"]): (i["count"], i["clients"])
                for i in self.items()}

    def raw(self, data, wait=10, pause_after=None, pause=0.0):
        """Sends bytes on a raw connection and returns what came back before
        the server closed or `wait` passed. With pause_after, sends that many
        bytes, pauses, then sends the rest."""
        with socket.create_connection((self.host, self.port), timeout=wait) as sock:
            if pause_after is None:
                sock.sendall(data)
            else:
                sock.sendall(data[:pause_after])
                time.sleep(pause)
                try:
                    sock.sendall(data[pause_after:])
                except OSError:
                    pass
            answer = b""
            try:
                while True:
                    chunk = sock.recv(65536)
                    if not chunk:
                        break
                    answer += chunk
            except OSError:
                pass
        return answer


def status_of(answer):
    """The status code of a raw answer, or None."""
    if not answer.startswith(b"HTTP/1.1 "):
        return None
    return int(answer[9:12])
