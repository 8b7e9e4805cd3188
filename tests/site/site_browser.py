#!/usr/bin/env python3
"""Checks the website that `quillbook export --site` writes for the bundled
sample, in headless Chromium over its DevTools pipe: opened from disk and
served by a loopback HTTP server with the site in a sub-folder.

usage: site_browser.py QUILLBOOK CHROMIUM SAMPLE_FOLDER AXE_JS

Every page is loaded; every link, image, style sheet and script it names must
resolve inside the site, no request may fail and no console error appear. The
contents tree must open the page it names, the search must find German and
Chinese words, and axe-core must report no serious or critical violation on
the index, a note page, an attachment page and a search result, light and
dark. Nothing leaves the machine. Exit status 0 when every check holds."""
import functools
import glob
import http.server
import importlib.util
import json
import os
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
_spec = importlib.util.spec_from_file_location("menu_browser", os.path.join(HERE, "..", "pages", "menu_browser.py"))
menu_browser = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(menu_browser)

FAILURES = []


def check(cond, what):
    if not cond:
        FAILURES.append(what)
        print("FAILED: " + what)
    return cond


class Browser(menu_browser.Browser):
    """Keeps the events that arrive while commands wait for their answers."""

    def __init__(self, *args):
        super().__init__(*args)
        self.events = []

    def _read_message(self, deadline):
        msg = super()._read_message(deadline)
        if "method" in msg:
            self.events.append(msg)
        return msg

    def attach(self):
        targets = self.send("Target.getTargets", session=False)["targetInfos"]
        page = next(t for t in targets if t["type"] == "page")
        self.session = self.send("Target.attachToTarget", {"targetId": page["targetId"], "flatten": True},
                                 session=False)["sessionId"]
        for domain in ("Page", "Runtime", "Network", "Log"):
            self.send(domain + ".enable")

    def open(self, url):
        self.events = []
        self.send("Page.navigate", {"url": url})
        deadline = time.time() + 20
        while not any(e["method"] == "Page.loadEventFired" for e in self.events):
            self._read_message(deadline)
        self.settle()

    def wait_load(self, timeout=20):
        """After an action that navigates: waits for the new page's load."""
        deadline = time.time() + timeout
        while not any(e["method"] == "Page.loadEventFired" for e in self.events):
            self._read_message(deadline)
        self.settle()

    def key(self, key, code=None, vk=0, text=None):
        down = {"type": "keyDown", "key": key, "code": code or key, "windowsVirtualKeyCode": vk}
        if text:
            down["text"] = text
        self.send("Input.dispatchKeyEvent", down)
        self.send("Input.dispatchKeyEvent", {"type": "keyUp", "key": key, "code": code or key,
                                             "windowsVirtualKeyCode": vk})

    def wait_for(self, expr, timeout=10):
        """The value of expr once it is truthy, or its last value."""
        end = time.time() + timeout
        value = self.eval(expr)
        while not value and time.time() < end:
            time.sleep(0.02)
            value = self.eval(expr)
        return value

    def settle(self, quiet=0.05):
        # Lets late events (image loads, console lines) come in.
        end = time.time() + quiet
        try:
            self.eval("1")
        except RuntimeError:
            pass
        while time.time() < end:
            time.sleep(0.03)
            self.eval("1")

    def problems(self):
        found = []
        for e in self.events:
            m, p = e["method"], e.get("params", {})
            if m == "Network.loadingFailed" and not p.get("canceled"):
                found.append("request failed: %s %s" % (p.get("errorText"), p.get("requestId")))
            elif m == "Network.responseReceived" and p["response"].get("status", 200) >= 400:
                found.append("HTTP %d for %s" % (p["response"]["status"], p["response"]["url"]))
            elif m == "Runtime.exceptionThrown":
                found.append("script error: " + json.dumps(p["exceptionDetails"])[:300])
            elif m == "Runtime.consoleAPICalled" and p.get("type") in ("error", "assert"):
                found.append("console error: " + json.dumps(p.get("args"))[:300])
            elif m == "Log.entryAdded" and p["entry"].get("level") == "error":
                found.append("console error: %s %s" % (p["entry"].get("text"), p["entry"].get("url", "")))
        return found


class Quiet(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


REFERENCES = """[...document.querySelectorAll('a[href], img[src], link[href], script[src], form[action]')]
  .map(e => e.href || e.src || e.action)"""


def target_ok(url, base, site):
    """The file or server answer a URL names, and its fragment's element."""
    parsed = urllib.parse.urlsplit(url)
    if parsed.scheme == "data":
        return True, ""
    if not url.startswith(base):
        return False, "leaves the site"
    if parsed.scheme == "file":
        path = urllib.parse.unquote(parsed.path)
        if not os.path.isfile(path):
            return False, "no file"
        text = open(path, "rb").read()
    else:
        try:
            with urllib.request.urlopen(urllib.parse.urlunsplit(parsed._replace(fragment="", query="")),
                                        timeout=10) as r:
                text = r.read()
        except Exception as e:
            return False, str(e)
    if parsed.fragment:
        frag = urllib.parse.unquote(parsed.fragment)
        if ('id="%s"' % frag).encode() not in text:
            return False, "no element #" + frag
    return True, ""


def check_every_page(b, base, site, mode):
    # The site's own pages; attached HTML files are the user's and stay as they are.
    pages = sorted(os.path.relpath(p, site) for p in glob.glob(os.path.join(site, "**", "*.html"), recursive=True)
                   if b"_site/site.css" in open(p, "rb").read())
    check(len(pages) > 40, "%s: the site has its pages (%d)" % (mode, len(pages)))
    checked = {}
    for rel in pages:
        url = base + urllib.parse.quote(rel)
        b.open(url)
        for p in b.problems():
            check(False, "%s: %s: %s" % (mode, rel, p))
        check(b.eval("document.doctype && document.doctype.name") == "html", "%s: %s has a doctype" % (mode, rel))
        check(b.eval("document.compatMode") == "CSS1Compat", "%s: %s renders in standards mode" % (mode, rel))
        check(b.eval("document.characterSet") == "UTF-8", "%s: %s declares UTF-8" % (mode, rel))
        check(bool(b.eval("document.title")), "%s: %s has a title" % (mode, rel))
        check(b.eval("!!document.querySelector('meta[name=viewport]')"), "%s: %s has a viewport" % (mode, rel))
        for ref in b.eval(REFERENCES):
            if ref.split("?")[0] not in checked:
                checked[ref.split("?")[0]] = target_ok(ref, base, site)
            ok, why = checked[ref.split("?")[0]]
            check(ok, "%s: %s links %s: %s" % (mode, rel, ref, why))
    return pages


def check_contents_tree(b, base, mode):
    b.open(base + "index.html")
    links = b.eval("""[...document.querySelectorAll('nav.toc a')]
        .filter(a => !a.href.includes('keywords.html'))
        .map(a => [a.textContent, a.href])""")
    check(len(links) > 40, "%s: the contents tree lists the pages (%d)" % (mode, len(links)))
    for caption, href in links:
        b.open(href)
        current = b.eval("(document.querySelector('nav.toc a[aria-current=page]') || {}).textContent")
        check(current == caption, "%s: contents entry %r opens a page marked %r" % (mode, caption, current))
        check(b.eval("document.title").startswith(caption), "%s: contents entry %r opens its page" % (mode, caption))
    # A closed branch opens on a click of its marker and shows its sub-items.
    b.open(base + "index.html")
    shown = b.eval("""(() => {
        const li = [...document.querySelectorAll('nav.toc li.branch')]
            .find(x => x.firstElementChild.textContent === 'Locations');
        if (!li) return null;
        const d = li.querySelector('details'), first = d.querySelector('ul a');
        const before = [d.open, first.checkVisibility()];
        d.querySelector('summary').click();
        return before.concat([d.open, first.checkVisibility()]);
      })()""")
    check(shown == [False, False, True, True],
          "%s: a closed branch of the tree opens and shows its entries (%r)" % (mode, shown))


def search(b, base, query):
    b.open(base + "search.html?q=" + urllib.parse.quote(query))
    return b.eval("[...document.querySelectorAll('#results a')]"
                  ".map(a => [a.querySelector('.hit-title').textContent, a.href])")


def check_search(b, base, mode):
    for query, expected in (("Feiertage", "Public holidays Germany"), ("饺子", "饺子 Dumplings"),
                            ("上海", "Our history"), ("ELBSTRASSE", "Hamburg office"),
                            ("hamburg büro", "Hamburg office")):
        results = search(b, base, query)
        for p in b.problems():
            check(False, "%s: search %r: %s" % (mode, query, p))
        captions = [c for c, _ in results]
        check(expected in captions, "%s: search %r finds %r (got %r)" % (mode, query, expected, captions))
        for caption, href in results:
            check(target_ok(href, base, None)[0], "%s: search result %r -> %s resolves" % (mode, caption, href))
    check(search(b, base, "zzzqqqnothing") == [], "%s: a word that is nowhere finds nothing" % mode)
    first = (search(b, base, "hamburg") or [[None]])[0][0]
    check(first == "Hamburg office", "%s: a page named by the word comes first (got %r)" % (mode, first))


HITS = """[...document.querySelectorAll('#qb-hits li a .hit-title')].map(e => e.textContent)"""


def type_search(b, url, query):
    b.open(url)
    b.eval("document.getElementById('qb-q').focus()")
    b.send("Input.insertText", {"text": query})
    return b.wait_for("(%s).length ? %s : null" % (HITS, HITS)) or []


def check_typing(b, base, mode, note):
    # Results while typing, without submitting: a prefix, a German fold and Chinese.
    for query, expected in (("Schlüs", None), ("饺子", "饺子 Dumplings"), ("elbstra", "Hamburg office"),
                            ("Hamb", "Hamburg office")):
        hits = type_search(b, base + note, query)
        check(bool(hits), "%s: typing %r shows results (%r)" % (mode, query, hits))
        if expected:
            check(expected in hits, "%s: typing %r shows %r (got %r)" % (mode, query, expected, hits))
        check(b.eval("location.pathname.endsWith('.html') && !location.search"),
              "%s: typing %r did not submit the form" % (mode, query))
        marks = b.eval("[...document.querySelectorAll('#qb-hits .snippet mark')].map(m => m.textContent)")
        check(bool(marks), "%s: the snippets of %r mark the words (%r)" % (mode, query, marks))
    # The arrows select a result; Enter opens it with the words marked.
    type_search(b, base + note, "Feiertage")
    b.key("ArrowDown", vk=40)
    first = b.eval("document.activeElement.closest('#qb-hits') ? document.activeElement.textContent : null")
    check(first is not None and "Public holidays" in first, "%s: ArrowDown selects the first result (%r)" % (mode, first))
    b.key("ArrowUp", vk=38)
    check(b.eval("document.activeElement.id") == "qb-q", "%s: ArrowUp from the first result goes back to the box" % mode)
    b.key("ArrowDown", vk=40)
    b.events = []
    b.key("Enter", vk=13, text="\r")
    b.wait_load()
    check("highlight=" in b.eval("location.search"), "%s: the result opens with the words to mark" % mode)
    marks = b.eval("[...document.querySelectorAll('main mark')].map(m => m.textContent)")
    check(any(m.lower().startswith("feiertag") for m in marks), "%s: the opened page marks the word (%r)" % (mode, marks))
    for p in b.problems():
        check(False, "%s: typing search: %s" % (mode, p))


def check_keys(b, base, mode, note):
    b.open(base + note)
    nxt = b.eval("document.querySelector('link[rel=next]').href")
    prev = b.eval("document.querySelector('link[rel=prev]').href")
    foot = b.eval("[...document.querySelectorAll('nav.pager a')].map(a => a.href)")
    check(foot == [prev, nxt], "%s: the foot links previous and next as the head does (%r)" % (mode, foot))
    b.events = []
    b.key("ArrowRight", vk=39)
    b.wait_load()
    check(b.eval("location.href") == nxt, "%s: the right arrow opens the next page" % mode)
    b.events = []
    b.key("ArrowLeft", vk=37)
    b.wait_load()
    check(b.eval("location.href").split("?")[0] == base + note, "%s: the left arrow goes back" % mode)
    b.key("s", code="KeyS", vk=83, text="s")
    check(b.eval("document.activeElement.id") == "qb-q", "%s: s focuses the search box" % mode)
    check(b.eval("document.getElementById('qb-q').value") == "", "%s: the s is not typed into the box" % mode)
    b.eval("document.activeElement.blur()")
    b.key("?", code="Slash", vk=191, text="?")
    check(b.eval("document.getElementById('qb-keys').open"), "%s: ? shows the keys" % mode)
    b.key("Escape", vk=27)
    check(not b.eval("document.getElementById('qb-keys').open"), "%s: Esc closes the keys" % mode)


def check_theme(b, base, note):
    b.send("Emulation.setEmulatedMedia", {"features": [{"name": "prefers-color-scheme", "value": "light"}]})
    b.open(base + note)
    bg = "getComputedStyle(document.body).backgroundColor"
    light = b.eval(bg)
    b.eval("document.getElementById('qb-theme').click()")
    dark = b.eval(bg)
    check(light != dark, "the switch turns the page dark (%s -> %s)" % (light, dark))
    b.open(base + "index.html")
    check(b.eval(bg) == dark, "the choice is remembered on the next page")
    b.eval("document.getElementById('qb-theme').click()")
    b.send("Emulation.setEmulatedMedia", {"features": []})


def check_without_script(b, base, note):
    # Scripts are off while a page loads and back on to read it.
    b.send("Emulation.setScriptExecutionDisabled", {"value": True})
    b.open(base + "search.html?q=Hamburg")
    b.send("Emulation.setScriptExecutionDisabled", {"value": False})
    text = b.eval("document.querySelector('main').innerText")
    check("Searching needs JavaScript" in text, "without scripts the search page says why it finds nothing")
    b.send("Emulation.setScriptExecutionDisabled", {"value": True})
    b.open(base + note)
    b.send("Emulation.setScriptExecutionDisabled", {"value": False})
    count = b.eval("document.querySelectorAll('nav.toc a[href], nav.crumbs a[href]').length")
    check(count > 40, "without scripts a note page still carries the contents and breadcrumb links (%r)" % count)


def run_axe(b, axe_js, url, what):
    if url:
        b.open(url)
    b.eval(axe_js)
    r = b.send("Runtime.evaluate", {"expression": """axe.run(document, {resultTypes: ['violations']})
        .then(r => r.violations.map(v => [v.id, v.impact, v.nodes.length, v.nodes[0].html.slice(0, 120)]))""",
                                   "awaitPromise": True, "returnByValue": True}, timeout=60)
    if "exceptionDetails" in r:
        check(False, "axe on %s: %s" % (what, json.dumps(r["exceptionDetails"])[:300]))
        return
    for vid, impact, count, html in r["result"]["value"]:
        check(impact not in ("serious", "critical"),
              "axe on %s: %s (%s) on %d element(s), e.g. %s" % (what, vid, impact, count, html))


def check_accessibility(b, base, axe_js, note, attachment):
    for scheme in ("light", "dark"):
        b.send("Emulation.setEmulatedMedia", {"features": [{"name": "prefers-color-scheme", "value": scheme}]})
        for what, url in (("the index", base + "index.html"), ("a note page", base + note),
                          ("an attachment page", base + attachment),
                          ("a search result", base + "search.html?q=Hamburg"),
                          ("a marked page", base + note + "?highlight=hamburg"),
                          ("the whole book", base + "print.html")):
            run_axe(b, axe_js, url, "%s (%s)" % (what, scheme))
        # With the results open under the box.
        type_search(b, base + note, "Hamburg")
        run_axe(b, axe_js, None, "results while typing (%s)" % scheme)
    b.send("Emulation.setEmulatedMedia", {"features": []})


def check_german_and_site_only(quillbook, db, work):
    # A site alone: no --out, no help file anywhere, the log names the site's index.
    before = set(glob.glob(os.path.join(work, "**", "*.chm"), recursive=True))
    site = os.path.join(work, "de")
    out = subprocess.run([quillbook, "export", "--db", db, "--whole", "--site", site,
                          "--set", "ChmLanguage=0x407 German (Germany)"], capture_output=True, text=True, cwd=work)
    check(out.returncode == 0, "export --site alone exits 0 (%d): %s" % (out.returncode, out.stderr[-300:]))
    lines = out.stdout.strip().splitlines()
    check(bool(lines) and lines[-1] == "Website: " + os.path.join(site, "index.html"),
          "the last log line names the site's index (%r)" % lines[-1:])
    check(set(glob.glob(os.path.join(work, "**", "*.chm"), recursive=True)) == before, "a site alone compiles no help file")
    check(not any("ompil" in l for l in lines), "a site alone logs no compile (%r)" % lines)
    page = open(os.path.join(site, "p", "2", "4", "5", "Hamburg_office.html"), encoding="utf-8").read()
    for word in ('<html lang="de-DE">', 'placeholder="Suche"', "<h2>Inhalt</h2>", ">Anhänge</h2>",
                 ">Öffnungszeiten.txt</a>", ">Größe</th>"):
        check(word in page, "the German site says %r" % word)
    for word in (">Contents<", ">Attachments<", ">Size<"):
        check(word not in page, "the German site has no English %r" % word)


def main():
    quillbook, chromium, sample, axe_path = sys.argv[1:5]
    axe_js = open(axe_path, encoding="utf-8").read()
    with tempfile.TemporaryDirectory() as work:
        db = os.path.join(work, "sample.kvdb")
        subprocess.run([quillbook, "db", "import", sample, db], check=True, stdout=subprocess.DEVNULL)
        served = os.path.join(work, "www")
        site = os.path.join(served, "notes")
        # A relative site folder is the caller's, though the run works inside the output folder.
        out = subprocess.run([quillbook, "export", "--db", db, "--whole", "--out", os.path.join(work, "out"),
                              "--method", "0", "--site", os.path.join("www", "notes")], capture_output=True,
                             text=True, cwd=work)
        if not check(out.returncode == 0, "export --site exits 0 (%d): %s" % (out.returncode, out.stderr[-500:])):
            return 1
        note = "p/2/4/5/Hamburg_office.html"
        attachment = "p/2/Organisation_chart.html"
        check(os.path.isfile(os.path.join(site, note)), "the note page exists")
        check(os.path.isfile(os.path.join(site, attachment)), "the attachment page exists")

        check_german_and_site_only(quillbook, db, work)

        handler = functools.partial(Quiet, directory=served)
        server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        threading.Thread(target=server.serve_forever, daemon=True).start()
        bases = (("file", "file://" + urllib.parse.quote(site) + "/"),
                 ("http", "http://127.0.0.1:%d/notes/" % server.server_address[1]))
        with tempfile.TemporaryDirectory() as profile:
            log = open(os.path.join(profile, "chromium.log"), "w")
            b = Browser(chromium, profile, log)
            try:
                b.attach()
                b.send("Emulation.setDeviceMetricsOverride",
                       {"width": 1200, "height": 800, "deviceScaleFactor": 1, "mobile": False})
                for mode, base in bases:
                    check_every_page(b, base, site, mode)
                    check_contents_tree(b, base, mode)
                    check_search(b, base, mode)
                    check_typing(b, base, mode, note)
                    check_keys(b, base, mode, note)
                check_theme(b, bases[1][1], note)
                check_without_script(b, bases[0][1], note)
                check_accessibility(b, bases[1][1], axe_js, note, attachment)
            finally:
                b.close()
                log.close()
        server.shutdown()
    if FAILURES:
        print("%d check(s) failed" % len(FAILURES))
        return 1
    print("site checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
