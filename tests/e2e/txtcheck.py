#!/usr/bin/env python3
"""Checks a printer's DNS-SD TXT record against its IPP attributes; prints "yes", or what differs.

Usage: txtcheck.py TXT ATTRS. TXT: the record as avahi-browse -p prints it ("key=value" "key=value"
...); ATTRS: ipptool -tv's listing of Get-Printer-Attributes.
"""
import re
import sys
from urllib.parse import urlsplit


def attributes(path):
    found = {}
    for line in open(path):
        m = re.match(r"\s+([a-z0-9-]+) \([^)]*\) = (.*)$", line)
        if m:
            found[m.group(1)] = m.group(2)
    return found


def main():
    txt = dict(item.split("=", 1) for item in re.findall(r'"([^"]*)"', open(sys.argv[1]).read()))
    ipp = attributes(sys.argv[2])
    formats = [f for f in ipp["document-format-supported"].split(",") if f != "application/octet-stream"]
    widths = [int(w) for w in re.findall(r"x-dimension=(\d+)", ipp["media-size-supported"])]
    papermax = "<legal-A4" if max(widths) < 21000 else "legal-A4" if max(widths) < 29700 else "tabloid-A3"
    expected = {
        "rp": ipp["printer-uri-supported"].split(",")[0].split("/", 3)[3],
        "ty": ipp["printer-make-and-model"],
        "pdl": ",".join(formats),
        "URF": ipp["urf-supported"],
        "Color": "T" if ipp["color-supported"] == "true" else "F",
        "Duplex": "T" if "two-sided" in ipp["sides-supported"] else "F",
        "PaperMax": papermax,
        "UUID": ipp["printer-uuid"].removeprefix("urn:uuid:"),
        # The same page, named by the host name the client used.
        "adminurl": urlsplit(ipp["printer-more-info"])._replace(netloc=urlsplit(txt.get("adminurl", "")).hostname + ":" +
                                                                str(urlsplit(ipp["printer-more-info"]).port)).geturl(),
        "kind": ipp["printer-kind"],
    }
    wrong = [f"{k}={txt.get(k)!r} (IPP: {v!r})" for k, v in expected.items() if txt.get(k) != v]
    wrong += [f"{k} claimed" for k in ("mopria-certified",) if k in txt]
    print("; ".join(wrong) if wrong else "yes")


if __name__ == "__main__":
    main()
