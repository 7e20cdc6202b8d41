#!/usr/bin/env python3
"""report-intake end to end: every row of its answer table, hostile senders
beside a well-behaved one, the read API and /healthz.

usage: intake_answers_test.py REPORT_INTAKE WORK_DIR
"""
import hashlib
import os
import shutil
import socket
import sqlite3
import subprocess
import sys
import threading
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from intake_service import (Service, document, item, new_client, status_of,  # noqa: E402
                            upload_headers)

PROGRAM, WORK_DIR = sys.argv[1:3]
IDLE = 2
MAX_BODY = 200_000
INFLIGHT = 300_000
PER_HOUR = 3
LIMITS = ["--idle-timeout", str(IDLE), "--max-body-bytes", str(MAX_BODY),
          "--max-inflight-bytes", str(INFLIGHT), "--uploads-per-client-per-hour", str(PER_HOUR)]


def folder(name):
    path = os.path.join(WORK_DIR, name)
    shutil.rmtree(path, ignore_errors=True)
    return path


def raw_post(length, body=b"", extra=b""):
    return (b"POST /reports HTTP/1.1\r\nHost: x\r\nContent-Type: application/xml\r\n" + extra +
            (b"Content-Length: %d\r\n" % length if length is not None else b"") + b"\r\n" + body)


def bad(client, **changes):
    """A report of the client with one attribute value made wrong."""
    return document(client, [item(**changes)]).encode()


def entity_bomb(client):
    levels = "".join(f'<!ENTITY e{n} "{"&e%d;" % (n - 1) * 10 if n else "ha"}">'
                     for n in range(8))
    return (f"<!DOCTYPE Log_Error [{levels}]>" +
            document(client, [item(message="&e7;")]).replace("&amp;e7;", "&e7;")).encode()


def external_entity(client):
    return ('<!DOCTYPE Log_Error [<!ENTITY x SYSTEM "file:///etc/passwd">]>' +
            document(client, [item()]).replace('Message="Cannot open file"',
                                               'Message="&x;"')).encode()


class AnswersTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.service = Service(PROGRAM, folder("answers"), *LIMITS)

    @classmethod
    def tearDownClass(cls):
        assert cls.service.stop() == 0

    def expect(self, got, status, reason=None, retry_after=False):
        code, headers, text = got
        self.assertEqual(code, status, text)
        self.assertEqual(text.count("\n"), 1, text)  # one line of plain text
        if reason:
            self.assertIn(reason, text)
        if retry_after:
            self.assertTrue(1 <= int(headers["Retry-After"]) <= 3600, headers)

    def test_contract_rows(self):
        c = new_client()
        good = document(c, [item(message="the contract's rows")]).encode()
        other_key = dict(upload_headers(good, c), **{"Idempotency-Key": "0" * 64})
        no_key = {k: v for k, v in upload_headers(good, c).items() if k != "Idempotency-Key"}
        s = self.service
        rows = [
            ("accepted", lambda: s.post(good, client=c), 200, "accepted"),
            ("duplicate", lambda: s.post(good, client=c), 200, "duplicate"),
            ("duplicate without X-Client-Id", lambda: s.post(good), 200, "duplicate"),
            ("false key", lambda: s.post(good, other_key), 400, None),
            ("no key", lambda: s.post(good, no_key), 400, None),
            ("client differs", lambda: s.post(good, client=new_client()), 400, None),
            ("not UTF-8", lambda: s.post(good.replace(b"contract", b"\xff\xfe")), 400, None),
            ("stray text", lambda: s.post(good + b"junk"), 400, None),
            ("another element", lambda: s.post(good + b"<Other/>"), 400, None),
            ("count zero", lambda: s.post(bad(c, count=0)), 400, None),
            ("count over 32 bits", lambda: s.post(bad(c, count=2**32)), 400, None),
            ("count not decimal", lambda: s.post(bad(c, count="1e3")), 400, None),
            ("error code over 32 bits", lambda: s.post(bad(c, code=2**31)), 400, None),
            ("missing attribute",
             lambda: s.post(good.replace(b' DLLVer="3.2.1.0"', b"")), 400, None),
            ("DOCTYPE", lambda: s.post(b"<!DOCTYPE Log_Error>" + good), 400, None),
            ("entity expansion", lambda: s.post(entity_bomb(c)), 400, None),
            ("external entity", lambda: s.post(external_entity(c)), 400, None),
            ("unknown entity", lambda: s.post(good.replace(b"the contract", b"&nbsp;")), 400,
             None),
            ("deep nesting", lambda: s.post(good.replace(b"/>", b">" + b"<a>" * 20000 +
                                                         b"</a>" * 20000 + b"</Error>", 1)),
             400, None),
            ("huge foreign attribute",
             lambda: s.post(good.replace(b"/>", b' Huge="' + b"x" * 150_000 + b'"/>', 1)), 400,
             None),
            ("content type", lambda: s.post(good, dict(upload_headers(good),
                                                       **{"Content-Type": "text/plain"})),
             415, None),
        ]
        for name, send, status, reason in rows:
            with self.subTest(name):
                self.expect(send(), status, reason)
        self.assertEqual(s.counts()[("1.0.0.0", "the contract's rows", "D:\\media\\a.avi")],
                         (1, 1))

    def test_http_rows(self):
        s = self.service
        started = time.monotonic()
        rows = [
            ("no length", raw_post(None, extra=b"Connection: close\r\n"), 411),
            ("chunked", raw_post(None, b"5\r\nhello\r\n0\r\n\r\n",
                                 b"Transfer-Encoding: chunked\r\n"), 411),
            ("too large", raw_post(MAX_BODY + 1), 413),
            ("largest admitted, body shorter than its length", raw_post(MAX_BODY, b"<Log"), 408),
            ("not HTTP", b"HELLO\r\n\r\n", 400),
        ]
        for name, data, status in rows:
            with self.subTest(name):
                self.assertEqual(status_of(s.raw(data)), status)
        # The short body waited out the idle timeout, no more.
        self.assertLess(time.monotonic() - started, IDLE + 5)

    def test_slow_sender_gets_408(self):
        c = new_client()
        body = document(c, [item(message="trickled")]).encode()
        data = raw_post(len(body), body, b"Idempotency-Key: %s\r\n" %
                        hashlib.sha256(body).hexdigest().encode())
        answer = self.service.raw(data, pause_after=len(data) - 20, pause=IDLE + 1.5)
        self.assertEqual(status_of(answer), 408, answer)
        # A sender that keeps trickling within the idle timeout is cut at the
        # request's own deadline instead; not waited for here (30 s).

    def test_rate_limit_then_duplicate(self):
        c = new_client()
        bodies = [document(c, [item(message="rate", count=n)]).encode() for n in range(1, 6)]
        for body in bodies[:PER_HOUR]:
            self.expect(self.service.post(body, client=c), 200, "accepted")
        self.expect(self.service.post(bodies[PER_HOUR], client=c), 429, retry_after=True)
        # A duplicate is answered before the rate check; refusals count nothing.
        self.expect(self.service.post(bodies[0], client=c), 200, "duplicate")
        self.expect(self.service.post(bodies[PER_HOUR + 1], client=c), 429, retry_after=True)
        self.assertEqual(self.service.counts()[("1.0.0.0", "rate", "D:\\media\\a.avi")], (6, 1))

    def test_inflight_budget(self):
        holder = threading.Thread(target=self.service.raw,
                                  args=(raw_post(MAX_BODY, b"<"),), kwargs={"wait": IDLE + 3})
        holder.start()
        time.sleep(0.5)  # its body is admitted and waits
        answer = self.service.raw(raw_post(INFLIGHT - MAX_BODY + 1))
        self.assertEqual(status_of(answer), 503, answer)
        self.assertIn(b"Retry-After: ", answer)
        holder.join()
        # The share came back with the held request's 408.
        self.assertEqual(status_of(self.service.raw(raw_post(MAX_BODY, b"<"))), 408)

    def test_connections_past_the_limit_wait_in_the_queue(self):
        s = self.service

        def threads():
            with open(f"/proc/{s.process.pid}/status") as status:
                return next(int(line.split()[1]) for line in status if line.startswith("Threads:"))

        s.api("/healthz", token=False)
        time.sleep(0.3)  # every thread the service starts with is up
        before = threads()
        held = []
        try:
            for _ in range(300):  # past the limit of 256
                sock = socket.create_connection((s.host, s.port), timeout=30)
                sock.sendall(b"POST /reports HTTP/1.1\r\n")
                held.append(sock)
            time.sleep(0.5)
            self.assertEqual(threads(), before)  # no thread per connection
            c = new_client()
            started = time.monotonic()
            self.expect(s.post(document(c, [item(message="queued")]).encode()), 200, "accepted")
            # It waited until the held connections' requests timed out.
            self.assertGreater(time.monotonic() - started, IDLE - 0.5)
        finally:
            for sock in held:
                sock.close()

    def test_hostile_senders_beside_a_well_behaved_one(self):
        s = self.service
        before = s.counts()
        polite = new_client()
        results = []
        stop = threading.Event()

        def well_behaved():
            n = 0
            while not stop.is_set() and n < PER_HOUR:
                n += 1
                body = document(polite, [item(message="polite", count=n)]).encode()
                started = time.monotonic()
                results.append((s.post(body, client=polite)[0], time.monotonic() - started))
                time.sleep(0.3)

        c = new_client()
        attacks = [
            lambda: s.raw(raw_post(1000, b"<Log_Error"), wait=IDLE + 3),  # short body
            lambda: s.raw(raw_post(MAX_BODY, b"<"), wait=IDLE + 3),  # holds in-flight bytes
            lambda: s.post(entity_bomb(c)),
            lambda: s.post(external_entity(c)),
            lambda: s.post(b"<!DOCTYPE x>" + document(c, [item()]).encode()),
            lambda: s.post(b"<Log_Error>" * 50000),
            lambda: s.post(document(c, [item(message="x" * 190_000)]).encode() + b"\xff"),
            lambda: s.post(document(c, [item()]).encode(), dict(upload_headers(b"x"))),
        ] + [lambda: s.raw(raw_post(500, b"<Log_Error "), wait=IDLE + 3, pause_after=80,
                           pause=IDLE + 1)] * 20  # slow senders, more than the io threads
        threads = [threading.Thread(target=attack) for attack in attacks]
        polite_thread = threading.Thread(target=well_behaved)
        for thread in threads:
            thread.start()
        polite_thread.start()
        for thread in threads:
            thread.join()
        stop.set()
        polite_thread.join()
        self.assertEqual([status for status, _ in results], [200] * len(results))
        self.assertTrue(results and max(seconds for _, seconds in results) < 1, results)
        after = s.counts()
        sent = sum(range(1, len(results) + 1))
        self.assertEqual(after.pop(("1.0.0.0", "polite", "D:\\media\\a.avi")), (sent, 1))
        for key, value in before.items():
            self.assertEqual(after[key], value)
        self.assertEqual(set(after) - set(before), set())
        self.assertEqual(s.api("/healthz", token=False)[0], 200)


class ReadApiTest(unittest.TestCase):
    def test_items_losses_uploads(self):
        service = Service(PROGRAM, folder("read"))
        try:
            a, b = new_client(), new_client()
            shared = item(message="shared", value=None, count=2)
            cap = item(kind="Warning", code=10901, count=2, dll="3.2.1.0",
                       message="Records were not kept: the day's log reached its size cap",
                       value="0000000005")
            first = (document(a, [shared, cap]) + document(a, [], product="9.9.9.9")).encode()
            self.assertEqual(service.post(first, client=a)[0], 200)
            second = document(b, [shared, item(message='q "<&>" \u00e4', count=7),
                                  item(message="C:\\Users\\alice\\x", value="c:\\users\\Bob\\y")])
            self.assertEqual(service.post(second.encode())[0], 200)
            self.assertEqual(service.post(first, client=a)[0], 200)  # a repeat counts once

            self.assertEqual(service.api("/api/items", token=False)[0], 401)
            service.token, token = "wrong", service.token
            self.assertEqual(service.api("/api/items")[0], 401)
            service.token = token
            items = service.items()
            self.assertEqual([i["count"] for i in items], sorted([i["count"] for i in items],
                                                                 reverse=True))
            by_message = {i["message"]: i for i in items}
            self.assertEqual((by_message["shared"]["count"], by_message["shared"]["clients"]),
                             (4, 2))
            self.assertIn('q "<&>" \u00e4', by_message)
            self.assertEqual(by_message["%USERPROFILE%\\x"]["value"], "%USERPROFILE%\\y")
            self.assertIsNone(by_message["shared"]["value"])
            self.assertEqual(by_message["shared"]["errorCode"], 20000)

            status, detail = service.api(f"/api/items/{by_message['shared']['id']}")
            self.assertEqual(status, 200)
            self.assertEqual([d["count"] for d in detail["days"]], [4])
            self.assertEqual(service.api("/api/items/999999")[0], 404)
            page = service.api("/api/items?sort=clients&limit=1")[1]
            self.assertEqual(page["items"][0]["message"], "shared")
            self.assertEqual(len(service.api(f"/api/items?after={page['next']}&sort=clients"
                                             "&limit=1000")[1]["items"]), len(items) - 1)
            self.assertEqual([i["message"] for i in service.items(q="shared", kind="Error")],
                             ["shared"])
            self.assertEqual(service.items(product="9.9.9.9"), [])
            for query in ["sort=size", "limit=0", "limit=x", "bogus=1", "q=%zz"]:
                with self.subTest(query):
                    self.assertEqual(service.api("/api/items?" + query)[0], 400)

            losses = service.api("/api/losses")[1]
            self.assertEqual(losses["total"], 10)
            self.assertEqual(losses["totals"], [{"cause": "dayLogCap", "code": 10901,
                                                 "records": 10}])
            self.assertEqual(service.api("/api/losses?product=9.9.9.9")[1]["total"], 0)

            key = hashlib.sha256(first).hexdigest()
            receipt = service.api(f"/api/uploads/{key}")[1]
            self.assertEqual((receipt["client"], receipt["productVersions"], receipt["bytes"]),
                             (a, ["1.0.0.0", "9.9.9.9"], len(first)))
            self.assertEqual(service.api("/api/uploads/" + "0" * 64)[0], 404)
            self.assertEqual(service.request("POST", "/api/items")[0], 405)
            self.assertEqual(service.request("GET", "/nowhere")[0], 404)
        finally:
            self.assertEqual(service.stop(), 0)

    def test_no_token_file_refuses_every_read(self):
        service = Service(PROGRAM, folder("no-token"), token=None)
        try:
            service.token = "anything"
            self.assertEqual(service.api("/api/items")[0], 401)
            self.assertEqual(service.api("/healthz", token=False)[0], 200)
        finally:
            self.assertEqual(service.stop(), 0)


class StoreTroubleTest(unittest.TestCase):
    def test_store_unavailable_then_back(self):
        service = Service(PROGRAM, folder("trouble"))
        try:
            c = new_client()
            body = document(c, [item(message="waits for the store")]).encode()
            holder = sqlite3.connect(service.db, timeout=0, isolation_level=None)
            holder.execute("BEGIN EXCLUSIVE")  # another writer holds the database
            code, headers, text = service.post(body)
            self.assertEqual(code, 503, text)
            self.assertTrue(1 <= int(headers["Retry-After"]) <= 3600)
            holder.execute("ROLLBACK")
            holder.close()
            self.assertIn("accepted", service.post(body)[2])  # nothing was stored before
            self.assertEqual(service.counts()[("1.0.0.0", "waits for the store",
                                               "D:\\media\\a.avi")], (1, 1))
            with open(service.db, "r+b") as file:  # the store's file is destroyed
                file.write(b"not a database" * 1000)
            self.assertEqual(service.api("/healthz", token=False)[0], 503)
        finally:
            self.assertEqual(service.stop(), 0)

    def test_usage_errors(self):
        for args in [["serve", "--listen", "nowhere"], ["serve", "--max-body-bytes", "10",
                                                        "--max-inflight-bytes", "5"],
                     ["serve", "--bogus"], ["frobnicate"]]:
            with self.subTest(args):
                done = subprocess.run([PROGRAM, *args], capture_output=True, timeout=10)
                self.assertEqual(done.returncode, 2)
                self.assertEqual(done.stderr.count(b"\n"), 1)
        done = subprocess.run([PROGRAM, "--help"], capture_output=True, timeout=10)
        for option in ["--listen", "--store", "--token-file", "--max-body-bytes",
                       "--max-inflight-bytes", "--idle-timeout", "--uploads-per-client-per-hour",
                       "--keep-days", "--keep-user-paths"]:
            self.assertIn(option.encode(), done.stdout)


if __name__ == "__main__":
    os.makedirs(WORK_DIR, exist_ok=True)
    result = unittest.main(argv=[sys.argv[0], "-v"], exit=False).result
    sys.exit(0 if result.wasSuccessful() else 1)
