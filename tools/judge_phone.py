#!/usr/bin/python3
"""Plays a gate judge with the judge page in headless Chromium at a phone's size.

    judge_phone.py URL PIN [PICTURE.png]

Chromium is driven over its DevTools pipe through phone_view.py's Phone, and every tap is a mouse
press and release at the middle of the element. The road, with the caller (a test) stopping and
starting the desk's server where the script says so on its standard output and waits for a line
on its standard input:

  1. opens URL, types PIN and taps ログイン; taps bib 12 on the keypad, the first buoy of
     the first gate, 送信, and waits for 送信済;
  2. prints "STOP" and waits; taps bib 7, the second buoy of the first gate and DQ of the
     second, 送信: the counter must read "2件 未送信";
  3. reloads the page (the server is still down), then opens the address again as a phone
     does from its history: the page and its two unsent entries must still be there;
  4. prints "START" and waits; the entries must go out by themselves and show 送信済.

Prints one JSON object last: what each step saw, and "ok". With PICTURE, only step 1 is taken
and its screenshot written there, for the README. Exits 2 when Chromium is missing, 1 on any other failure.
"""
import json
import os
import shutil
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from phone_view import Phone  # noqa: E402

TIMEOUT = 120  # seconds for the whole road


class JudgePhone(Phone):
    """The phone, tapping and reading the judge page."""

    def wait(self, expression, what, seconds=45):
        until = min(self.deadline, time.monotonic() + seconds)
        while time.monotonic() < until:
            try:
                if self.eval(expression):
                    return
            except RuntimeError:
                pass  # the page is being replaced
            time.sleep(0.1)
        raise TimeoutError("waited in vain for " + what)

    def tap(self, element_id):
        box = self.eval(f"""(() => {{ const e = document.getElementById({json.dumps(element_id)});
            if (!e) return null; e.scrollIntoView({{block: 'center'}});
            const r = e.getBoundingClientRect(); return [r.x + r.width / 2, r.y + r.height / 2,
            r.width, r.height]; }})()""")
        if not box:
            raise RuntimeError("no element " + element_id)
        for kind in ("mousePressed", "mouseReleased"):
            self.call("Input.dispatchMouseEvent", {"type": kind, "x": box[0], "y": box[1],
                                                   "button": "left", "clickCount": 1})
        return box

    def text(self, element_id):
        return self.eval(f"(document.getElementById({json.dumps(element_id)}) || {{}}).textContent")

    def entries(self):
        return self.eval("Array.from(document.querySelectorAll('#log li'), li => li.textContent)")


def handshake(word):
    print(word, flush=True)
    if sys.stdin.readline().strip() != "GO":
        raise RuntimeError("the caller did not answer " + word)


def road(phone, url, pin, picture):
    seen = {}
    if phone.open(url):
        raise RuntimeError("cannot open " + url)
    phone.tap("pin")
    phone.call("Input.insertText", {"text": pin})
    phone.tap("login")
    phone.wait("document.getElementById('g1-1') !== null", "the gates after logging in")
    sizes = [phone.tap(i)[2:] for i in ("key-1", "key-2", "g1-1")]
    seen["smallestTarget"] = min(min(s) for s in sizes)
    seen["buoyCaption"] = phone.text("g1-1")
    phone.tap("send")
    phone.wait("document.querySelector('#log li .sent') !== null", "送信済 of the first entry")
    seen["first"] = phone.entries()
    if picture:
        # The next competitor half entered, as a judge's phone looks most of the day.
        for element in ("key-2", "key-3", "g1-2", "g2-1"):
            phone.tap(element)
        phone.eval("window.scrollTo(0, 0)")
        phone.picture(picture)
        return seen

    handshake("STOP")
    for element in ("key-7", "g1-2", "g2-dq", "send"):
        phone.tap(element)
    phone.wait("document.getElementById('unsent').textContent === '2件 未送信'", "2件 未送信")
    seen["offline"] = phone.text("unsent")

    # What the browser does with the page while the desk is away: a reload asks the server
    # again; opening the address again takes the page from the browser's cache.
    phone.open(url, reload=True)
    seen["afterReload"] = phone.text("unsent")
    seen["reopenError"] = phone.open(url)
    seen["afterReopen"] = phone.text("unsent")
    seen["entriesOffline"] = phone.entries()

    handshake("START")
    phone.wait("document.getElementById('unsent').hidden && "
               "document.querySelectorAll('#log li .sent').length === 3", "送信済 of all three")
    seen["online"] = phone.entries()
    return seen


def main():
    if len(sys.argv) < 3:
        print(__doc__, file=sys.stderr)
        return 1
    url, pin = sys.argv[1], sys.argv[2]
    picture = sys.argv[3] if len(sys.argv) > 3 else None
    browser = shutil.which("chromium")
    if not browser:
        print("chromium is not installed", file=sys.stderr)
        return 2
    try:
        with JudgePhone(browser, time.monotonic() + TIMEOUT) as phone:
            seen = road(phone, url, pin, picture)
        seen["ok"] = True
        print(json.dumps(seen, ensure_ascii=False), flush=True)
        return 0
    except Exception as e:  # what went wrong, for the test's log
        print(f"judge_phone: {e}", file=sys.stderr)
        return 1


if __name__ == "__main__":
    sys.exit(main())
