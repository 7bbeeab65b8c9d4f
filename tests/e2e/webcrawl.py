#!/usr/bin/env python3
"""Visits a Printer Application's web interface as a curious administrator would: every page
reachable from / by its links, then every form posted back with its CSRF token and the values it
shows (nothing deleted or cancelled, no test page printed, new jobs not held). Prints one line per request; exits 1 when the
server stops answering.

Usage: webcrawl.py http://127.0.0.1:PORT
"""
import html.parser
import sys
import urllib.error
import urllib.parse
import urllib.request

SKIP = ("delete", "testpage", "print-test-page", "cancel", "shutdown", "/logfile", "hold-new-jobs")


class Page(html.parser.HTMLParser):
    """The links and forms of one page."""

    def __init__(self):
        super().__init__()
        self.links, self.forms = [], []
        self.form = None
        self.select = None

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if tag == "a" and a.get("href"):
            self.links.append(a["href"])
        elif tag == "form" and (a.get("method") or "").lower() == "post":
            self.form = {"action": a.get("action") or "", "fields": {}}
            self.forms.append(self.form)
        elif self.form is not None and tag == "input" and a.get("name"):
            kind = (a.get("type") or "text").lower()
            if kind in ("checkbox", "radio") and "checked" not in a:
                return
            if kind != "submit" and kind != "file":
                self.form["fields"][a["name"]] = a.get("value") or ""
        elif self.form is not None and tag == "select" and a.get("name"):
            self.select = a["name"]
        elif self.select and tag == "option":
            fields = self.form["fields"]
            if self.select not in fields or "selected" in a:
                fields[self.select] = a.get("value") or ""

    def handle_endtag(self, tag):
        if tag == "form":
            self.form = None
        elif tag == "select":
            self.select = None


def fetch(url, data=None):
    body = urllib.parse.urlencode(data).encode() if data is not None else None
    try:
        with urllib.request.urlopen(urllib.request.Request(url, data=body), timeout=60) as r:
            return r.status, r.read().decode("utf-8", "replace")
    except urllib.error.HTTPError as e:
        return e.code, ""


def main():
    base = sys.argv[1].rstrip("/")
    port = urllib.parse.urlsplit(base).port
    seen, queue, forms = set(), ["/"], []
    while queue:
        path = queue.pop(0)
        if path in seen or len(seen) >= 200:
            continue
        seen.add(path)
        try:
            status, text = fetch(base + path)
        except OSError as e:
            print(f"GET {path}: no answer ({e})")
            return 1
        print(f"GET {path}: {status}")
        page = Page()
        page.feed(text)
        for link in page.links:
            u = urllib.parse.urlsplit(urllib.parse.urljoin(base + path, link))
            # Links to the same server (its absolute links may name it otherwise, or https).
            if u.scheme in ("http", "https") and u.port == port:
                target = u.path + (("?" + u.query) if u.query else "")
                if not any(word in target for word in SKIP):
                    queue.append(target)
        for form in page.forms:
            action = urllib.parse.urlsplit(urllib.parse.urljoin(base + path, form["action"] or path)).path
            values = " ".join(form["fields"].values())
            if not any(word in action or word in values for word in SKIP):
                forms.append((action, form["fields"]))
    for action, fields in forms:
        try:
            status, _ = fetch(base + action, fields)
        except OSError as e:
            print(f"POST {action}: no answer ({e})")
            return 1
        print(f"POST {action} {sorted(fields)}: {status}")
    print(f"{len(seen)} pages, {len(forms)} forms")
    return 0


if __name__ == "__main__":
    sys.exit(main())
