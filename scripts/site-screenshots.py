#!/usr/bin/env python3
"""Screenshots of the sample's website for the documentation: a note page at
desktop and phone width, light and dark, a search result, the search while
typing, a page opened from a result with its words marked, a German site and
the whole book on one page (print.html, on screen and as printed to PDF),
written to docs/site-*.png and docs/site-print.pdf.

usage: scripts/site-screenshots.py [QUILLBOOK] [CHROMIUM]
QUILLBOOK defaults to build/out/quillbook, CHROMIUM to /usr/bin/chromium."""
import base64
import importlib.util
import os
import subprocess
import sys
import tempfile
import time
import urllib.parse

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
_spec = importlib.util.spec_from_file_location("menu_browser", os.path.join(ROOT, "tests", "pages", "menu_browser.py"))
menu_browser = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(menu_browser)

SHOTS = (("desktop", 1280, 800, False), ("phone", 390, 844, True))
PAGE = "p/2/4/5/Directions.html"


def main():
    quillbook = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build", "out", "quillbook")
    chromium = sys.argv[2] if len(sys.argv) > 2 else "/usr/bin/chromium"
    with tempfile.TemporaryDirectory() as work:
        db = os.path.join(work, "sample.kvdb")
        site = os.path.join(work, "site")
        subprocess.run([quillbook, "db", "import", os.path.join(ROOT, "examples", "sample"), db], check=True,
                       stdout=subprocess.DEVNULL)
        subprocess.run([quillbook, "export", "--db", db, "--whole", "--out", os.path.join(work, "out"), "--method", "0",
                        "--site", site, "--set", "WindowTitle=Company handbook"], check=True, stdout=subprocess.DEVNULL)
        german = os.path.join(work, "de")
        subprocess.run([quillbook, "export", "--db", db, "--whole", "--site", german, "--set",
                        "ChmLanguage=0x407 German (Germany)"], check=True, stdout=subprocess.DEVNULL)
        url = "file://" + urllib.parse.quote(os.path.join(site, PAGE))
        profile = os.path.join(work, "profile")
        os.mkdir(profile)
        with open(os.path.join(work, "chromium.log"), "w") as log:
            b = menu_browser.Browser(chromium, profile, log)
            try:
                targets = b.send("Target.getTargets", session=False)["targetInfos"]
                page = next(t for t in targets if t["type"] == "page")
                b.session = b.send("Target.attachToTarget", {"targetId": page["targetId"], "flatten": True},
                                   session=False)["sessionId"]
                b.send("Page.enable")
                for name, width, height, mobile in SHOTS:
                    for scheme in ("light", "dark"):
                        b.send("Emulation.setDeviceMetricsOverride",
                               {"width": width, "height": height, "deviceScaleFactor": 1, "mobile": mobile})
                        b.send("Emulation.setEmulatedMedia",
                               {"features": [{"name": "prefers-color-scheme", "value": scheme}]})
                        b.send("Page.navigate", {"url": url})
                        b.wait_event("Page.loadEventFired")
                        time.sleep(0.3)
                        shot = b.send("Page.captureScreenshot", {"format": "png"})
                        target = os.path.join(ROOT, "docs", "site-%s-%s.png" % (name, scheme))
                        with open(target, "wb") as f:
                            f.write(base64.b64decode(shot["data"]))
                        print(target)
                b.send("Emulation.setDeviceMetricsOverride",
                       {"width": 1280, "height": 640, "deviceScaleFactor": 1, "mobile": False})
                b.send("Emulation.setEmulatedMedia", {"features": []})
                b.send("Page.navigate", {"url": "file://" + urllib.parse.quote(os.path.join(site, "search.html")) +
                                         "?q=" + urllib.parse.quote("Hamburg")})
                b.wait_event("Page.loadEventFired")
                time.sleep(0.3)
                target = os.path.join(ROOT, "docs", "site-search.png")
                with open(target, "wb") as f:
                    f.write(base64.b64decode(b.send("Page.captureScreenshot", {"format": "png"})["data"]))
                print(target)

                def shot(name):
                    time.sleep(0.4)
                    target = os.path.join(ROOT, "docs", "site-%s.png" % name)
                    with open(target, "wb") as f:
                        f.write(base64.b64decode(b.send("Page.captureScreenshot", {"format": "png"})["data"]))
                    print(target)

                b.send("Emulation.setDeviceMetricsOverride",
                       {"width": 1280, "height": 720, "deviceScaleFactor": 1, "mobile": False})
                # Typing into the box at the top of a page, nothing submitted.
                b.send("Page.navigate", {"url": url})
                b.wait_event("Page.loadEventFired")
                b.send("Runtime.evaluate", {"expression": "document.getElementById('qb-q').focus()"})
                b.send("Input.insertText", {"text": "feierta"})
                shot("typing")
                # The page a result opens, its words marked.
                hamburg = "file://" + urllib.parse.quote(os.path.join(site, "p/2/4/5/Hamburg_office.html"))
                b.send("Page.navigate", {"url": hamburg + "?highlight=" + urllib.parse.quote("elbstraße hamburg")})
                b.wait_event("Page.loadEventFired")
                shot("highlight")
                b.send("Page.navigate", {"url": "file://" + urllib.parse.quote(
                    os.path.join(german, "p/2/4/5/Hamburg_office.html"))})
                b.wait_event("Page.loadEventFired")
                shot("german")
                # The whole book: its first screen, and the pages a printer gets.
                b.send("Emulation.setDeviceMetricsOverride",
                       {"width": 1280, "height": 900, "deviceScaleFactor": 1, "mobile": False})
                b.send("Page.navigate", {"url": "file://" + urllib.parse.quote(os.path.join(site, "print.html"))})
                b.wait_event("Page.loadEventFired")
                shot("print")
                pdf = b.send("Page.printToPDF", {"preferCSSPageSize": True})
                target = os.path.join(ROOT, "docs", "site-print.pdf")
                with open(target, "wb") as f:
                    f.write(base64.b64decode(pdf["data"]))
                print(target)
            finally:
                b.close()


if __name__ == "__main__":
    main()
