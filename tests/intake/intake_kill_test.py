#!/usr/bin/env python3
"""report-intake killed with SIGKILL (and once stopped with SIGTERM, which
finishes the uploads in flight and exits 0) while concurrent senders upload,
each retrying until it gets 200, then started again on the same store: every
item's count equals what was sent, nothing lost and nothing doubled.

usage: intake_kill_test.py REPORT_INTAKE WORK_DIR
"""
import os
import shutil
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from intake_service import Service, document, item, new_client  # noqa: E402

PROGRAM, WORK_DIR = sys.argv[1:3]
SENDERS = 8
REPORTS = 150
STOPS = ["KILL", "TERM", "KILL"]


class Current:
    """The running service, replaced on each restart."""

    def __init__(self, service):
        self.service = service
        self.lock = threading.Lock()

    def get(self):
        with self.lock:
            return self.service

    def set(self, service):
        with self.lock:
            self.service = service


def sender(current, client, sent, failures):
    for n in range(1, REPORTS + 1):
        # Each report carries a different count, so a lost or doubled upload
        # shows in the sum.
        body = document(client, [item(message=f"kill test {client}", count=n),
                                 item(message="everyone's", count=1)]).encode()
        deadline = time.monotonic() + 120
        while True:
            try:
                status, _, _ = current.get().post(body, client=client)
                if status == 200:
                    break
                if status not in (503,):
                    failures.append((client, n, status))
                    return
            except OSError:
                pass  # killed mid-request: the same body again, same key
            if time.monotonic() > deadline:
                failures.append((client, n, "gave up"))
                return
            time.sleep(0.02)
        sent[client] = sent.get(client, 0) + n
        sent["uploads"] = sent.get("uploads", 0) + 1


def main():
    folder = os.path.join(WORK_DIR, "kill")
    shutil.rmtree(folder, ignore_errors=True)
    extra = ["--uploads-per-client-per-hour", "100000"]
    current = Current(Service(PROGRAM, folder, *extra))
    clients = [new_client() for _ in range(SENDERS)]
    sent, failures = {}, []
    threads = [threading.Thread(target=sender, args=(current, c, sent, failures))
               for c in clients]
    for thread in threads:
        thread.start()
    for number, how in enumerate(STOPS, 1):
        # Each stop comes at a set share of the run, so it always lands mid-run.
        while (sent.get("uploads", 0) < number * SENDERS * REPORTS // (len(STOPS) + 1) and
               any(thread.is_alive() for thread in threads)):
            time.sleep(0.01)
        if how == "KILL":
            current.get().kill()
        elif current.get().stop() != 0:
            failures.append("SIGTERM did not exit 0")
        current.set(Service(PROGRAM, folder, *extra))
    for thread in threads:
        thread.join()
    service = current.get()
    counts = service.counts()
    status = service.stop()
    expected = {("1.0.0.0", f"kill test {c}", "D:\\media\\a.avi"): (sent.get(c, 0), 1)
                for c in clients}
    expected[("1.0.0.0", "everyone's", "D:\\media\\a.avi")] = (SENDERS * REPORTS, SENDERS)
    problems = failures + [(key, counts.get(key), want) for key, want in expected.items()
                           if counts.get(key) != want]
    if status != 0 or problems or len(counts) != len(expected):
        print(f"FAILED: exit {status}; {problems}; {len(counts)} items")
        return 1
    print(f"ok: {SENDERS} senders x {REPORTS} uploads through {'/'.join(STOPS)}, every count exact")
    return 0


if __name__ == "__main__":
    sys.exit(main())
