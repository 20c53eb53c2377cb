#!/usr/bin/python3
"""Reads a live results page with an HTML5 parser and prints what it shows as JSON.

    read_live_page.py PAGE.html

The page is parsed by html5lib in strict mode, which stops at the first HTML5 parse error (so a
page that prints is well-formed HTML5), then walked: title, the event heading, the class links,
and per class section its heading, its table rows (cell texts) and its DS, DF and DQ lists.
Also counts the script elements and reports the refresh and charset declarations.
"""
import json
import sys

import html5lib

NS = "{http://www.w3.org/1999/xhtml}"


def text(element):
    return "".join(element.itertext()).strip()


def main():
    with open(sys.argv[1], "rb") as f:
        raw = f.read()
    try:
        root = html5lib.HTMLParser(strict=True, namespaceHTMLElements=True).parse(
            raw, transport_encoding="utf-8")
    except Exception as e:
        print(json.dumps({"parseError": str(e)}))
        return 1
    head = root.find(f"{NS}head")
    body = root.find(f"{NS}body")
    metas = head.findall(f"{NS}meta")
    page = {
        "doctype": raw.lstrip().lower().startswith(b"<!doctype html>"),
        "lang": root.get("lang"),
        "charset": [m.get("charset") for m in metas if m.get("charset")],
        "refresh": [m.get("content") for m in metas if m.get("http-equiv") == "refresh"],
        "viewport": [m.get("content") for m in metas if m.get("name") == "viewport"],
        "external": [e.get("src") or e.get("href") for e in root.iter()
                     if (e.tag in (f"{NS}script", f"{NS}img", f"{NS}iframe") and e.get("src"))
                     or (e.tag == f"{NS}link" and e.get("href"))],
        "scripts": len(list(root.iter(f"{NS}script"))),
        "title": text(head.find(f"{NS}title")),
        "h1": [text(h) for h in body.iter(f"{NS}h1")],
        "links": [[a.get("href"), text(a)] for a in body.iter(f"{NS}a")],
        "sections": [],
    }
    for section in body.iter(f"{NS}section"):
        entry = {"id": section.get("id"), "heading": text(section.find(f"{NS}h2")), "rows": [],
                 "DS": [], "DF": [], "DQ": []}
        table = section.find(f"{NS}table")
        if table is not None:
            entry["header"] = [text(c) for c in table.iter(f"{NS}th")]
            for row in table.find(f"{NS}tbody").findall(f"{NS}tr"):
                entry["rows"].append([text(c) for c in row.findall(f"{NS}td")])
        for ul in section.findall(f"{NS}ul"):
            for status in ("DS", "DF", "DQ"):
                if status in (ul.get("class") or "").split():
                    entry[status] = [text(li) for li in ul.findall(f"{NS}li")]
        page["sections"].append(entry)
    print(json.dumps(page, ensure_ascii=False))
    return 0


if __name__ == "__main__":
    sys.exit(main())
