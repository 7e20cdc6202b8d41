"""A certificate authority of the tests' own, made by openssl in a folder:
its certificate, and a server certificate for DNS:localhost and
IP:127.0.0.1 that it signed, with the server's key."""
import os
import subprocess


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
