#!/usr/bin/env python3
"""Drives headless Chromium over its DevTools pipe to check the rollover menu of
a generated page: hovering a navigation link shows the sub-item links inside
the window, leaving hides it after a short delay, a click inside hides it.

usage: menu_browser.py CHROMIUM OUTPUT_ROOT PAGE LINK_TEXT EXPECTED_CAPTION...
The pages link from the output folder's root ("/_quillbook.js"), as inside the
help file, so the folder is served on a loopback port for the browser; nothing
leaves the machine. Captions that look like markup are part of the test: a page
must show them as text, and none may run (a caption script would set
window.qbInjected). Exit status 0 when every check holds; the first failed
check is printed."""
import functools
import http.server
import json
import os
import threading
import subprocess
import sys
import tempfile
import time
import urllib.parse


class Browser:
    def __init__(self, exe, profile, log):
        self.log = log
        self.to_r, self.to_w = os.pipe()      # we write, the browser reads fd 3
        self.from_r, self.from_w = os.pipe()  # the browser writes fd 4
        flags = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 "--user-data-dir=" + profile, "--remote-debugging-pipe", "about:blank"]

        def child_fds():
            # Out of the way first, so that neither lands on the other's number.
            r, w = os.dup(self.to_r), os.dup(self.from_w)
            os.dup2(r, 3)
            os.dup2(w, 4)
            os.set_inheritable(3, True)
            os.set_inheritable(4, True)

        # close_fds would run after child_fds and close 3 and 4 again.
        self.proc = subprocess.Popen([exe] + flags, close_fds=False, preexec_fn=child_fds,
                                     stdout=subprocess.DEVNULL, stderr=self.log)
        os.close(self.to_r)
        os.close(self.from_w)
        self.buf = b""
        self.next_id = 0
        self.session = None

    def close(self):
        try:
            self.send("Browser.close", session=False)
        except Exception:
            pass
        try:
            self.proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()

    def _read_message(self, deadline):
        while b"\0" not in self.buf:
            if time.time() > deadline:
                raise RuntimeError("browser did not answer")
            chunk = os.read(self.from_r, 65536)
            if not chunk:
                raise RuntimeError("browser closed its pipe")
            self.buf += chunk
        msg, self.buf = self.buf.split(b"\0", 1)
        return json.loads(msg)

    def send(self, method, params=None, session=True, timeout=20):
        self.next_id += 1
        msg = {"id": self.next_id, "method": method, "params": params or {}}
        if session and self.session:
            msg["sessionId"] = self.session
        os.write(self.to_w, json.dumps(msg).encode() + b"\0")
        deadline = time.time() + timeout
        while True:
            reply = self._read_message(deadline)
            if reply.get("id") == self.next_id:
                if "error" in reply:
                    raise RuntimeError(method + ": " + json.dumps(reply["error"]))
                return reply.get("result", {})

    def wait_event(self, name, timeout=20):
        deadline = time.time() + timeout
        while True:
            msg = self._read_message(deadline)
            if msg.get("method") == name:
                return msg

    def eval(self, expr):
        r = self.send("Runtime.evaluate", {"expression": expr, "returnByValue": True})
        if "exceptionDetails" in r:
            raise RuntimeError("script error: " + json.dumps(r["exceptionDetails"]))
        return r["result"].get("value")

    def mouse(self, kind, x, y):
        params = {"type": kind, "x": x, "y": y, "button": "left" if kind != "mouseMoved" else "none",
                  "clickCount": 1 if kind != "mouseMoved" else 0}
        self.send("Input.dispatchMouseEvent", params)


class Quiet(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


MENU_STATE = """(() => {
  const d = document.getElementById('dropmenudiv');
  if (!d) return null;
  const r = d.getBoundingClientRect();
  return {visible: getComputedStyle(d).visibility === 'visible',
          links: [...d.querySelectorAll('a')].map(a => [a.textContent, a.getAttribute('href')]),
          left: r.left, top: r.top, right: r.right, bottom: r.bottom,
          width: window.innerWidth, height: window.innerHeight};
})()"""


def link_center(b, text):
    return b.eval("""(() => {
      const a = [...document.querySelectorAll('a[onmouseover]')].find(e => e.textContent === %s);
      if (!a) return null;
      const r = a.getBoundingClientRect();
      return {x: r.left + r.width / 2, y: r.top + r.height / 2, left: r.left};
    })()""" % json.dumps(text))


def check(cond, what):
    if not cond:
        print("FAILED: " + what)
        sys.exit(1)


def resolves(root, page, href):
    path = urllib.parse.unquote(href.split("#")[0])
    target = os.path.join(root, path.lstrip("/")) if path.startswith("/") else os.path.join(os.path.dirname(page), path)
    return os.path.isfile(os.path.normpath(target))


def main():
    exe, root, page, link_text = sys.argv[1:5]
    expected = sys.argv[5:]
    handler = functools.partial(Quiet, directory=root)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    rel = os.path.relpath(os.path.abspath(page), os.path.abspath(root))
    url = "http://127.0.0.1:%d/%s" % (server.server_address[1], urllib.parse.quote(rel))
    with tempfile.TemporaryDirectory() as profile:
        log = open(os.path.join(profile, "chromium.log"), "w")
        b = Browser(exe, profile, log)
        try:
            targets = b.send("Target.getTargets", session=False)["targetInfos"]
            page_target = next(t for t in targets if t["type"] == "page")
            b.session = b.send("Target.attachToTarget", {"targetId": page_target["targetId"], "flatten": True},
                               session=False)["sessionId"]
            b.send("Page.enable")
            b.send("Runtime.enable")
            b.send("Emulation.setDeviceMetricsOverride",
                   {"width": 800, "height": 600, "deviceScaleFactor": 1, "mobile": False})
            b.send("Page.navigate", {"url": url})
            b.wait_event("Page.loadEventFired")

            state = b.eval(MENU_STATE)
            check(state is not None, "the script adds the container dropmenudiv")
            check(not state["visible"], "the menu starts hidden")
            check(b.eval("typeof window.qbInjected") == "undefined", "no caption runs as script on load")

            pos = link_center(b, link_text)
            check(pos is not None, "navigation link %r with a menu" % link_text)
            b.mouse("mouseMoved", pos["x"], pos["y"])
            state = b.eval(MENU_STATE)
            check(state["visible"], "hovering %r shows the menu" % link_text)
            check([t for t, _ in state["links"]] == expected,
                  "menu lists %r, got %r" % (expected, [t for t, _ in state["links"]]))
            for t, href in state["links"]:
                check(resolves(root, page, href), "menu link %r -> %r resolves" % (t, href))
            check(state["top"] >= pos["y"], "the menu opens below the link")
            check(b.eval("typeof window.qbInjected") == "undefined", "no menu entry runs as script")

            # Away from link and menu: hidden after the delay, not at once.
            b.mouse("mouseMoved", 5, state["height"] - 5)
            check(b.eval(MENU_STATE)["visible"], "the menu waits a moment before hiding")
            time.sleep(0.8)
            check(not b.eval(MENU_STATE)["visible"], "leaving the link hides the menu")

            # Into the menu: it stays; a click inside hides it.
            b.mouse("mouseMoved", pos["x"], pos["y"])
            state = b.eval(MENU_STATE)
            inside_x, inside_y = state["left"] + 20, state["top"] + 5
            b.mouse("mouseMoved", inside_x, inside_y)
            time.sleep(0.8)
            check(b.eval(MENU_STATE)["visible"], "the menu stays while the pointer is on it")
            b.eval("document.querySelectorAll('#dropmenudiv a').forEach(a => a.addEventListener("
                   "'click', e => e.preventDefault()))")
            b.mouse("mousePressed", inside_x, inside_y)
            b.mouse("mouseReleased", inside_x, inside_y)
            check(not b.eval(MENU_STATE)["visible"], "a click in the menu hides it")

            # A narrow window: the menu is moved to stay inside it.
            b.send("Emulation.setDeviceMetricsOverride",
                   {"width": max(260, int(pos["left"]) + 200), "height": 600, "deviceScaleFactor": 1, "mobile": False})
            b.mouse("mouseMoved", 1, 590)
            time.sleep(0.5)
            pos = link_center(b, link_text)
            b.mouse("mouseMoved", pos["x"], pos["y"])
            state = b.eval(MENU_STATE)
            check(state["visible"], "the menu shows in a narrow window")
            check(state["left"] >= 0 and state["right"] <= state["width"] + 0.5,
                  "menu %r..%r inside a window %r wide" % (state["left"], state["right"], state["width"]))
        except Exception:
            log.flush()
            with open(os.path.join(profile, "chromium.log")) as f:
                print(f.read()[-3000:])
            raise
        finally:
            b.close()
            log.close()
    server.shutdown()
    print("menu checks passed")


if __name__ == "__main__":
    main()
