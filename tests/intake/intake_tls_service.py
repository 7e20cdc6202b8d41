"""report-intake over its own https as the tests run it: a certificate
authority of the tests' own, made by openssl in a folder (its certificate,
and a server certificate for DNS:localhost and IP:127.0.0.1 that it
signed, with the server's key), and the program serving with them."""
import http.client
import os
import ssl
import subprocess
import threading

from intake_service import Service


class TestAuthority:
    def __init__(self, folder, name="Report intake test authority"):
        os.makedirs(folder, exist_ok=True)
        self.folder = folder
        self.certificate = self.path("authority.crt")
        self.server_certificate = self.path("server.crt")
        self.server_key = self.path("server.key")
        self.openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                     "-keyout", self.path("authority.key"), "-out", self.certificate,
                     "-subj", f"/CN={name}",
                     "-addext", "basicConstraints=critical,CA:TRUE",
                     "-addext", "keyUsage=critical,keyCertSign,cRLSign")
        self.openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", self.server_key,
                     "-out", self.path("server.csr"), "-subj", "/CN=localhost")
        with open(self.path("server.ext"), "w") as file:
            file.write("subjectAltName=DNS:localhost,IP:127.0.0.1\n"
                       "basicConstraints=critical,CA:FALSE\n"
                       "keyUsage=critical,digitalSignature,keyEncipherment\n"
                       "extendedKeyUsage=serverAuth\n")
        self.openssl("x509", "-req", "-in", self.path("server.csr"), "-CA", self.certificate,
                     "-CAkey", self.path("authority.key"), "-CAcreateserial", "-days", "2",
                     "-out", self.server_certificate, "-extfile", self.path("server.ext"))

    def path(self, name):
        return os.path.join(self.folder, name)

    def openssl(self, *args):
        subprocess.run(["openssl", *args], check=True, capture_output=True, timeout=60)

    def serve_arguments(self):
        return ["--tls-cert", self.server_certificate, "--tls-key", self.server_key]


class TlsService(Service):
    """report-intake serve --tls-cert ... on 127.0.0.1:0, asked as localhost
    (the name clients verify)."""

    def __init__(self, program, folder, authority, *extra, token="secret-token"):
        os.makedirs(folder, exist_ok=True)
        self.authority = authority
        self.context = ssl.create_default_context(cafile=authority.certificate)
        self.folder, self.token = folder, token
        tokens = os.path.join(folder, "tokens")
        with open(tokens, "w") as file:
            file.write(token + "\n")
        self.db = os.path.join(folder, "intake.db")
        self.log = open(os.path.join(folder, "service.log"), "ab")
        self.process = subprocess.Popen(
            [program, "serve", "--listen", "127.0.0.1:0", "--store", "sqlite:" + self.db,
             "--token-file", tokens, *authority.serve_arguments(), *extra],
            stdout=subprocess.PIPE, stderr=self.log)
        line = []
        reader = threading.Thread(target=lambda: line.append(self.process.stdout.readline()))
        reader.start()
        reader.join(30)
        if not line or not line[0].startswith(b"listening on https://127.0.0.1:"):
            self.process.kill()
            raise RuntimeError(f"report-intake did not start: {line}")
        self.host, self.port = "localhost", int(line[0].decode().strip().rsplit(":", 1)[1])

    def request(self, method, path, body=None, headers=None, timeout=30):
        connection = http.client.HTTPSConnection(self.host, self.port, timeout=timeout,
                                                 context=self.context)
        try:
            connection.request(method, path, body=body, headers=headers or {})
            response = connection.getresponse()
            return response.status, dict(response.getheaders()), response.read().decode()
        finally:
            connection.close()
