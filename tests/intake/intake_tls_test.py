#!/usr/bin/env python3
"""report-intake's own https: uploads over TLS with a test authority, plain
http and silent TLS clients on the https port, the start's checks of
--tls-cert and --tls-key, and whose X-Forwarded-For the log believes.

usage: intake_tls_test.py REPORT_INTAKE WORK_DIR
"""
import http.client
import os
import re
import shutil
import socket
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from intake_service import Service, document, item, new_client  # noqa: E402
from intake_tls_service import TestAuthority, TlsService  # noqa: E402

PROGRAM, WORK_DIR = sys.argv[1:3]
IDLE = 2


def folder(name):
    path = os.path.join(WORK_DIR, name)
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(path)
    return path


class TlsTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.authority = TestAuthority(folder("authority"))

    def test_start_checks_the_certificate_and_key(self):
        a = self.authority
        missing = os.path.join(WORK_DIR, "no-such.pem")
        # arguments, exit status, words of the one error line
        cases = [
            (["--tls-cert", a.server_certificate], 2, "go together"),
            (["--tls-key", a.server_key], 2, "go together"),
            (["--tls-cert", missing, "--tls-key", a.server_key], 1, "No such file"),
            (["--tls-cert", a.server_key, "--tls-key", a.server_key], 1, "certificate"),
            (["--tls-cert", a.server_certificate, "--tls-key", a.path("authority.key")], 1,
             "TLS key"),
            (["--trusted-proxy", "proxy.example"], 2, "IP address"),
        ]
        work = folder("start")
        for extra, status, words in cases:
            with self.subTest(extra=extra):
                done = subprocess.run([PROGRAM, "serve", "--listen", "127.0.0.1:0", "--store",
                                       "sqlite:" + os.path.join(work, "db"), *extra],
                                      capture_output=True, timeout=30)
                self.assertEqual(done.returncode, status, done.stderr)
                self.assertEqual(done.stdout, b"")
                self.assertIn(words, done.stderr.decode())
        text = subprocess.run([PROGRAM, "--help"], capture_output=True).stdout.decode()
        for option in ["--tls-cert FILE", "--tls-key FILE", "--trusted-proxy ADDR"]:
            self.assertIn(option, text)

    def test_https_upload_beside_plain_and_silent_clients(self):
        service = TlsService(PROGRAM, folder("https"), self.authority, "--idle-timeout", str(IDLE))
        try:
            # Plain http to the https port: no answer, the connection ends.
            with socket.create_connection(("127.0.0.1", service.port), timeout=10) as plain:
                plain.sendall(b"GET /healthz HTTP/1.1\r\nHost: x\r\n\r\n")
                self.assertFalse(read_all(plain).startswith(b"HTTP/"))
            # Silent clients: one sends nothing, one the start of a hello.
            silent = [socket.create_connection(("127.0.0.1", service.port)) for _ in range(2)]
            silent[1].sendall(b"\x16\x03\x01\x02\x00\x01")
            started = time.monotonic()
            client = new_client()
            body = document(client, [item(message="over https", count=3)]).encode()
            status, _, text = service.post(body, client=client)
            self.assertEqual(status, 200, text)
            self.assertEqual(service.post(body, client=client)[0], 200)  # the duplicate
            self.assertLess(time.monotonic() - started, IDLE)
            [counted] = [i for i in service.items() if i["message"] == "over https"]
            self.assertEqual((counted["count"], counted["clients"]), (3, 1))
            for sock in silent:
                with sock:
                    sock.settimeout(IDLE + 10)
                    self.assertNotIn(b"HTTP/", read_all(sock))
            self.assertLess(time.monotonic() - started, IDLE + 5)
            self.assertEqual(service.request("GET", "/healthz")[0], 200)
        finally:
            self.assertEqual(service.stop(), 0)

    def test_forwarded_client_only_from_trusted_proxies(self):
        # X-Forwarded-For values, trusted proxies, the peer the log shows
        cases = [
            (["198.51.100.7"], ["127.0.0.1"], "198.51.100.7@127.0.0.1:"),
            (["198.51.100.7, 203.0.113.9"], ["127.0.0.1"], "203.0.113.9@127.0.0.1:"),
            (["198.51.100.7", "10.0.0.2, 127.0.0.1"], ["127.0.0.1", "10.0.0.2"],
             "198.51.100.7@127.0.0.1:"),
            (["not-an-address, 203.0.113.9"], ["127.0.0.1", "203.0.113.9"], "127.0.0.1:"),
            (["198.51.100.7"], [], "127.0.0.1:"),
            (["198.51.100.7"], ["10.0.0.2"], "127.0.0.1:"),
        ]
        for number, (forwarded, proxies, shown) in enumerate(cases):
            with self.subTest(forwarded=forwarded, proxies=proxies):
                extra = [arg for proxy in proxies for arg in ("--trusted-proxy", proxy)]
                work = folder(f"forwarded-{number}")
                service = Service(PROGRAM, work, *extra)
                try:
                    connection = http.client.HTTPConnection(service.host, service.port,
                                                            timeout=10)
                    connection.putrequest("GET", "/healthz")
                    for value in forwarded:
                        connection.putheader("X-Forwarded-For", value)
                    connection.endheaders()
                    self.assertEqual(connection.getresponse().status, 200)
                    connection.close()
                finally:
                    self.assertEqual(service.stop(), 0)
                with open(os.path.join(work, "service.log")) as file:
                    [line] = [l for l in file if " GET /healthz " in l]
                self.assertRegex(line.split()[1], "^" + re.escape(shown) + r"[0-9]+$")


def read_all(sock):
    answer = b""
    try:
        while chunk := sock.recv(65536):
            answer += chunk
    except OSError:
        pass
    return answer


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
