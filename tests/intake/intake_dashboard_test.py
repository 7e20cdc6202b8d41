"""The dashboard end to end: report-intake filled through real uploads, every
page loaded in headless Chromium, the rendered DOM checked (figures, the
new-in-version mark across 1.9.0.0, 1.10.0.0 and 2.0.0.0, filters, hostile
text as text) and a screenshot of each page kept in the work folder.
Where Chromium cannot start, the test prints one "SKIP:" line and exits 0.
Standard library only."""
import html.parser
import os
import shutil
import subprocess
import sys
import tempfile
import urllib.parse

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from intake_service import Service, document, item, new_client  # noqa: E402

ACCOUNT = "Records were not kept: the log was busy or could not be written"
HOSTILE = ["<script>alert(1)</script>", '"><img src=x onerror=alert(1)>',
           "javascript:alert(1)", "\u202Eexe.txt"]
EVIL_VERSION = '3.0"><svg onload=alert(1)>'
CSP = ("default-src 'none'; style-src 'unsafe-inline'; img-src 'self' data:; "
       "frame-ancestors 'none'; base-uri 'none'; form-action 'self'")


class Node:
    def __init__(self, tag, attrs, parent):
        self.tag, self.attrs, self.parent, self.children, self.text = tag, dict(attrs), parent, [], ""

    def all_text(self):
        return self.text + "".join(child.all_text() for child in self.children)

    def walk(self):
        yield self
        for child in self.children:
            yield from child.walk()

    def find_all(self, tag=None, **attrs):
        return [n for n in self.walk() if (tag is None or n.tag == tag) and
                all(n.attrs.get(k.replace("_", "-")) == v for k, v in attrs.items())]

    def cls(self, name):
        return [n for n in self.walk() if name in (n.attrs.get("class") or "").split()]


class Tree(html.parser.HTMLParser):
    VOID = {"meta", "input", "br", "img", "link", "line", "rect", "polyline", "hr"}

    def __init__(self, text):
        super().__init__(convert_charrefs=True)
        self.root = Node("#root", {}, None)
        self.at = self.root
        self.feed(text)

    def handle_starttag(self, tag, attrs):
        node = Node(tag, attrs, self.at)
        self.at.children.append(node)
        if tag not in self.VOID:
            self.at = node

    def handle_startendtag(self, tag, attrs):
        self.at.children.append(Node(tag, attrs, self.at))

    def handle_endtag(self, tag):
        node = self.at
        while node is not self.root and node.tag != tag:
            node = node.parent
        if node is not self.root:
            self.at = node.parent

    def handle_data(self, data):
        holder = Node("#text", {}, self.at)
        holder.text = data
        self.at.children.append(holder)


class Browser:
    def __init__(self, folder):
        self.program = shutil.which("chromium") or shutil.which("chromium-browser")
        self.folder = folder

    def run(self, url, *extra):
        with tempfile.TemporaryDirectory() as profile:
            return subprocess.run(
                [self.program, "--headless=new", "--no-sandbox", "--disable-gpu",
                 "--no-first-run", f"--user-data-dir={profile}", *extra, url],
                capture_output=True, timeout=90)

    def dom(self, url):
        done = self.run(url, "--dump-dom")
        return done.stdout.decode("utf-8", "replace")

    def screenshot(self, url, name):
        path = os.path.join(self.folder, name)
        self.run(url, f"--screenshot={path}", "--window-size=1280,900",
                 "--hide-scrollbars")
        return os.path.exists(path) and os.path.getsize(path) > 1000


def fill(service):
    """Three clients, four versions, posted as the library writes reports."""
    a, b, c = new_client(), new_client(), new_client()
    uploads = [
        (a, [("1.9.0.0", [item(message="Cannot open file", count=3),
                          item(message="Seen first in nine", count=1),
                          item(kind="Warning", code=10902, message=ACCOUNT, value="4",
                               count=2)])]),
        (b, [("1.10.0.0", [item(message="Cannot open file", count=4),
                           item(message="Seen first in nine", count=2),
                           item(kind="Warning", code=-2147024891, message="Only from ten",
                                value=None, count=5, dll="3.3.0.0")])]),
        (c, [("2.0.0.0", [item(message="Cannot open file", count=6),
                          item(kind="Warning", code=-2147024891, message="Only from ten",
                               value=None, count=1),
                          *[item(message=text, value=text, count=1) for text in HOSTILE]]),
             (EVIL_VERSION, [item(message="<b>bold</b>", count=1)])]),
        (a, [("2.0.0.0", [item(message="Cannot open file", count=1)])]),
    ]
    for client, documents in uploads:
        body = "".join(document(client, items, product) for product, items in documents)
        status, _, text = service.post(body, client=client)
        assert status == 200, (status, text)


def check(condition, what):
    if not condition:
        raise AssertionError(what)


def check_access(service):
    pages = ["/", "/products/2.0.0.0", "/items/1", "/losses"]
    for path in pages + ["/api/items", "/api/items/1", "/api/losses", "/api/uploads/x"]:
        status, headers, body = service.request("GET", path)
        check(status == 401, f"{path} without a token: {status}")
        check("Cannot open" not in body and "1.9.0.0" not in body, f"{path}: data without a token")
        if path in pages:
            check(headers.get("Content-Security-Policy") == CSP, f"{path}: CSP")
    status, _, _ = service.request("GET", "/api/items", headers={"Cookie": f"intake_token={service.token}"})
    check(status == 401, "the API takes the bearer token only")
    status, headers, _ = service.request("GET", f"/products/2.0.0.0?kind=Error&token={service.token}")
    check(status == 303 and headers.get("Location") == "/products/2.0.0.0?kind=Error",
          f"sign-in redirect: {status} {headers.get('Location')}")
    cookie = headers.get("Set-Cookie", "")
    check("HttpOnly" in cookie and "SameSite=Strict" in cookie, f"cookie: {cookie}")
    status, headers, body = service.request("GET", "/", headers={"Cookie": cookie.split(";")[0]})
    check(status == 200 and "1.10.0.0" in body, "the cookie opens the overview")
    for name, value in [("X-Content-Type-Options", "nosniff"), ("Referrer-Policy", "no-referrer"),
                        ("Content-Security-Policy", CSP)]:
        check(headers.get(name) == value, f"header {name}: {headers.get(name)}")


def check_inert(tree, where):
    for node in tree.root.walk():
        check(node.tag not in ("script", "img", "iframe", "object", "embed"),
              f"{where}: an injected <{node.tag}>")
        for name, value in node.attrs.items():
            check(not name.startswith("on"), f"{where}: an injected handler {name}")
            if name in ("href", "src", "action"):
                check(not (value or "").lower().lstrip().startswith("javascript:"),
                      f"{where}: a javascript: address")


def rows_by(tree, table_id, key):
    tables = tree.root.find_all("table", id=table_id)
    check(tables, f"no table {table_id}")
    return {row.attrs[key]: row for row in tables[0].find_all("tr") if key in row.attrs}


def cell(row, name):
    cells = row.cls(name)
    check(cells, f"no cell {name}")
    return cells[0].all_text().strip()


def main():
    program, work = sys.argv[1], sys.argv[2]
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    service = Service(program, os.path.join(work, "service"))
    try:
        fill(service)
        check_access(service)
        browser = Browser(work)
        if not browser.program:
            print("SKIP: no chromium on this machine (scripts/bootstrap.sh installs it)")
            return 0
        base = f"http://{service.host}:{service.port}"
        token = urllib.parse.quote(service.token)

        def load(path, name=None):
            url = f"{base}{path}{'&' if '?' in path else '?'}token={token}"
            text = browser.dom(url)
            if name:
                check(browser.screenshot(url, name), f"no screenshot {name}")
            return Tree(text), text

        tree, text = load("/", "dashboard-overview.png")
        if "Product versions" not in text:
            print("SKIP: chromium did not render a page here:", text[:80].replace("\n", " "))
            return 0
        check_inert(tree, "overview")
        versions = rows_by(tree, "versions", "data-version")
        check(list(versions) == [EVIL_VERSION, "2.0.0.0", "1.10.0.0", "1.9.0.0"],
              f"versions highest first: {list(versions)}")
        nine = versions["1.9.0.0"]
        for name, value in [("uploads", "1"), ("clients", "1"), ("occurrences", "4"),
                            ("lost", "8"), ("completeness", "33.3%")]:
            check(cell(nine, name) == value, f"1.9.0.0 {name}: {cell(nine, name)}")
        check(cell(versions["2.0.0.0"], "clients") == "2", "2.0.0.0 has two clients")
        check(cell(versions["2.0.0.0"], "occurrences") == "12", "2.0.0.0 occurrences")
        check(versions["2.0.0.0"].find_all("svg") and versions["2.0.0.0"].find_all("rect"),
              "a bar chart")
        check(EVIL_VERSION in versions[EVIL_VERSION].all_text(), "the hostile version as text")

        new_marks = {}
        for version in ["1.9.0.0", "1.10.0.0", "2.0.0.0"]:
            tree, _ = load("/products/" + urllib.parse.quote(version),
                           f"dashboard-product-{version}.png")
            check_inert(tree, version)
            rows = rows_by(tree, "items", "data-id")
            for row in rows.values():
                message = row.cls("msg")[0].all_text()
                new_marks[(version, message)] = bool(row.cls("new"))
        expected = {("1.9.0.0", "Cannot open file"): True, ("1.9.0.0", "Seen first in nine"): True,
                    ("1.9.0.0", ACCOUNT): True,
                    ("1.10.0.0", "Cannot open file"): False,
                    ("1.10.0.0", "Seen first in nine"): False,
                    ("1.10.0.0", "Only from ten"): True,
                    ("2.0.0.0", "Cannot open file"): False, ("2.0.0.0", "Only from ten"): False}
        for key, mark in expected.items():
            check(new_marks.get(key) == mark, f"new mark {key}: {new_marks.get(key)}")
        for text in HOSTILE:
            check(new_marks.get(("2.0.0.0", text)) is True, f"hostile message as text: {text!r}")

        tree, _ = load("/products/1.10.0.0")
        code = [cell(r, "code") for r in rows_by(tree, "items", "data-id").values()
                if "Only from ten" in r.all_text()]
        check(code == ["-2147024891 (0x80070005)"], f"hex code: {code}")

        for query, messages in [("kind=Warning", {"Only from ten"}),
                                ("q=script", {HOSTILE[0], HOSTILE[2]}),
                                ("q=open%20FILE", {"Cannot open file"}),
                                ("dll=9.9", set())]:
            tree, _ = load(f"/products/2.0.0.0?{query}")
            rows = rows_by(tree, "items", "data-id") if tree.root.find_all("table", id="items") else {}
            got = {r.cls("msg")[0].all_text() for r in rows.values()}
            check(got == messages, f"filter {query}: {got}")
        tree, _ = load("/products/2.0.0.0?sort=clients")
        first = list(rows_by(tree, "items", "data-id").values())[0]
        check("Cannot open file" in first.all_text(), "sorted by clients")

        tree, _ = load("/products/2.0.0.0")
        item_id = [i for i, r in rows_by(tree, "items", "data-id").items()
                   if "Cannot open file" in r.all_text()][0]
        tree, _ = load(f"/items/{item_id}", "dashboard-item.png")
        check_inert(tree, "item")
        others = rows_by(tree, "versions", "data-version")
        check(list(others) == ["2.0.0.0", "1.10.0.0", "1.9.0.0"], f"item versions: {list(others)}")
        check(cell(others["1.10.0.0"], "count") == "4", "count in 1.10.0.0")
        share = tree.root.cls("share")[0].all_text()
        check(share.startswith("100.0%"), f"share of clients: {share}")

        for text in HOSTILE:
            tree, _ = load("/products/2.0.0.0?q=" + urllib.parse.quote(text))
            check_inert(tree, f"search {text!r}")
            rows = rows_by(tree, "items", "data-id")
            check(len(rows) == 1, f"search for {text!r}")
            field = tree.root.find_all("input", name="q")[0].attrs.get("value")
            check(field == text, f"the search field keeps {text!r}: {field!r}")
            bdi = [n for n in list(rows.values())[0].find_all("bdi") if n.all_text() == text]
            check(bdi, f"{text!r} isolated in <bdi>")

        tree, _ = load("/losses", "dashboard-losses.png")
        check_inert(tree, "losses")
        lost = rows_by(tree, "per-version", "data-version")
        check(cell(lost["1.9.0.0"], "c10902") == "8", "records lost per version")
        check("could not be opened or written" in tree.root.all_text(), "the causes explained")
        print("dashboard pages: ok; screenshots in", work)
        return 0
    finally:
        service.stop()


if __name__ == "__main__":
    sys.exit(main())
