#!/usr/bin/python3
"""Shows a web page in headless Chromium at a phone's size and reports how it lays out.

    phone_view.py URL [PICTURE.png]

Chromium is driven over its DevTools pipe (file descriptors 3 and 4), so nothing but the page's
own address is ever contacted. Prints one JSON object: the page's scroll width against the
viewport width (no sideways scrolling when they are equal), the elements whose content does
not fit their box (text running over its cell), the names and affiliations broken inside a word
that would fit their cell, the gap between the table's text and the right edge, the texts of
its h1 and h2 headings, its title. Exits 2 when Chromium is missing, 1 on any other failure.
"""
import base64
import json
import os
import select
import shutil
import subprocess
import sys
import tempfile
import time

WIDTH, HEIGHT = 390, 844
TIMEOUT = 60  # seconds for the whole run

# Where the text of a table cell stands: the box of the characters from..to-1 (the union of
# their boxes on every line) and whether they sit on more than one line.
HELPERS = """
function characters(cell) {
  const at = [];
  const walker = document.createTreeWalker(cell, NodeFilter.SHOW_TEXT);
  for (let node; (node = walker.nextNode());)
    for (let i = 0; i < node.length; ++i) at.push([node, i]);
  return at;
}
function textBox(cell, from, to) {
  const at = characters(cell);
  const box = {left: Infinity, right: -Infinity, width: 0, lines: new Set()};
  const range = document.createRange();
  for (let k = from; k < to && k < at.length; ++k) {
    range.setStart(at[k][0], at[k][1]);
    range.setEnd(at[k][0], at[k][1] + 1);
    for (const r of range.getClientRects()) {
      if (r.width === 0) continue;
      box.left = Math.min(box.left, r.left);
      box.right = Math.max(box.right, r.right);
      box.width += r.width;
      box.lines.add(Math.round(r.top));
    }
  }
  return box;
}
// The names (third column) and affiliations (fourth) that break inside a word although the word
// would fit its cell on a line of its own. A name's words are its parts between spaces, an
// affiliation's the words the browser's Japanese dictionary finds.
function brokenWords() {
  const words = new Intl.Segmenter('ja', {granularity: 'word'});
  const out = [];
  for (const cell of document.querySelectorAll('td:nth-child(3), td:nth-child(4)')) {
    const text = cell.textContent;
    const style = getComputedStyle(cell);
    const room = cell.clientWidth - parseFloat(style.paddingLeft) - parseFloat(style.paddingRight);
    const parts = cell.cellIndex === 2
        ? Array.from(text.matchAll(/[^\s\u3000]+/g), m => [m.index, m.index + m[0].length])
        : Array.from(words.segment(text)).filter(s => s.isWordLike)
              .map(s => [s.index, s.index + s.segment.length]);
    for (const [from, to] of parts) {
      const box = textBox(cell, from, to);
      if (box.lines.size > 1 && box.width <= room + 0.5) out.push(text.slice(from, to) + ' in ' + text);
    }
  }
  return out;
}
"""

MEASURE = HELPERS + """JSON.stringify({
  scrollWidth: document.documentElement.scrollWidth,
  clientWidth: document.documentElement.clientWidth,
  innerWidth: window.innerWidth,
  widest: Math.max(0, ...Array.from(document.querySelectorAll('body *'),
                                    e => e.getBoundingClientRect().right)),
  overflowing: Array.from(document.querySelectorAll('body *'))
    .filter(e => e.clientWidth > 0 && e.scrollWidth > e.clientWidth + 1)
    .map(e => e.tagName.toLowerCase() + ': ' + e.textContent.trim().slice(0, 40)),
  brokenWords: brokenWords(),
  rightGap: window.innerWidth - Math.max(0, ...Array.from(
    document.querySelectorAll('th, td'), e => textBox(e, 0, e.textContent.length).right)),
  title: document.title,
  h1: Array.from(document.querySelectorAll('h1'), e => e.textContent.trim()),
  h2: Array.from(document.querySelectorAll('h2'), e => e.textContent.trim())
})"""


class Pipe:
    def __init__(self, to_browser, from_browser):
        self.out, self.inp = to_browser, from_browser
        self.buffer = b""
        self.next_id = 0
        self.events = []

    def send(self, method, params=None, session=None):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = session
        os.write(self.out, json.dumps(message).encode() + b"\0")
        return self.next_id

    def read_message(self, deadline):
        while b"\0" not in self.buffer:
            left = deadline - time.monotonic()
            if left <= 0:
                raise TimeoutError("no answer from Chromium")
            ready, _, _ = select.select([self.inp], [], [], left)
            if ready:
                chunk = os.read(self.inp, 1 << 20)
                if not chunk:
                    raise EOFError("Chromium closed its pipe")
                self.buffer += chunk
        raw, self.buffer = self.buffer.split(b"\0", 1)
        return json.loads(raw)

    def call(self, method, params=None, session=None, deadline=None):
        wanted = self.send(method, params, session)
        while True:
            message = self.read_message(deadline)
            if message.get("id") == wanted:
                if "error" in message:
                    raise RuntimeError(f"{method}: {message['error']}")
                return message.get("result", {})
            self.events.append(message)

    def wait_event(self, name, deadline):
        for i, event in enumerate(self.events):
            if event.get("method") == name:
                return self.events.pop(i)
        while True:
            message = self.read_message(deadline)
            if message.get("method") == name:
                return message
            self.events.append(message)


class Phone:
    """Headless Chromium at a phone's size, one page, driven over the DevTools pipe (file
    descriptors 3 and 4) until the deadline. Used as a context manager: closed and its profile
    removed on leaving."""

    def __init__(self, browser, deadline):
        self.deadline = deadline
        self.profile = tempfile.mkdtemp(prefix="phone-")
        to_r, to_w = os.pipe()
        from_r, from_w = os.pipe()

        def child_fds():
            a, b = os.dup(to_r), os.dup(from_w)
            os.dup2(a, 3)
            os.dup2(b, 4)

        command = [browser, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                   "--no-first-run", "--disable-background-networking",
                   "--disable-component-update", "--disable-sync", "--disable-dev-shm-usage",
                   "--hide-scrollbars", f"--user-data-dir={self.profile}",
                   f"--window-size={WIDTH},{HEIGHT}", "--remote-debugging-pipe", "about:blank"]
        self.process = subprocess.Popen(command, close_fds=False, preexec_fn=child_fds,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(to_r)
        os.close(from_w)
        self.pipe = Pipe(to_w, from_r)
        self.session = None

    def __enter__(self):
        target = self.pipe.call("Target.createTarget", {"url": "about:blank"},
                                deadline=self.deadline)
        self.session = self.pipe.call("Target.attachToTarget",
                                      {"targetId": target["targetId"], "flatten": True},
                                      deadline=self.deadline)["sessionId"]
        self.call("Emulation.setDeviceMetricsOverride",
                  {"width": WIDTH, "height": HEIGHT, "deviceScaleFactor": 2, "mobile": True})
        self.call("Page.enable")
        return self

    def __exit__(self, *exc):
        try:
            self.pipe.call("Browser.close", deadline=time.monotonic() + 5)
        except Exception:
            pass
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        shutil.rmtree(self.profile, ignore_errors=True)

    def call(self, method, params=None):
        return self.pipe.call(method, params, self.session, self.deadline)

    def eval(self, expression):
        result = self.call("Runtime.evaluate", {"expression": expression, "returnByValue": True})
        return result["result"].get("value")

    def open(self, url, reload=False):
        """Loads url (or reloads the page); the browser's error text, empty when it loaded."""
        self.pipe.events.clear()
        if reload:
            self.call("Page.reload", {})
        else:
            navigation = self.call("Page.navigate", {"url": url})
            if navigation.get("errorText"):
                return navigation["errorText"]
        self.pipe.wait_event("Page.loadEventFired", self.deadline)
        return ""

    def picture(self, path):
        shot = self.call("Page.captureScreenshot", {"format": "png"})
        with open(path, "wb") as f:
            f.write(base64.b64decode(shot["data"]))


def main():
    if len(sys.argv) < 2:
        print(__doc__, file=sys.stderr)
        return 1
    url = sys.argv[1]
    picture = sys.argv[2] if len(sys.argv) > 2 else None
    browser = shutil.which("chromium")
    if not browser:
        print("chromium is not installed", file=sys.stderr)
        return 2
    try:
        with Phone(browser, time.monotonic() + TIMEOUT) as phone:
            error = phone.open(url)
            if error:
                raise RuntimeError(f"cannot load {url}: {error}")
            report = json.loads(phone.eval(MEASURE))
            if picture:
                phone.picture(picture)
                report["picture"] = picture
        print(json.dumps(report, ensure_ascii=False))
        return 0
    except Exception as e:  # a report of what went wrong, for the test's log
        print(f"phone_view: {e}", file=sys.stderr)
        return 1


if __name__ == "__main__":
    sys.exit(main())
