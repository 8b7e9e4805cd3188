#!/usr/bin/env python3
"""The website of a large tree: search data size per item, start page size and
the delay from a keystroke to the first result in headless Chromium.

usage: bench/site_search.py [--items N] [QUILLBOOK] [CHROMIUM]

Builds a database of N items (default 10,000; fan-out 10, notes of about 1 KB
drawn from a vocabulary of 20,000 words, German and Chinese among them),
exports the website alone and prints one "name: value unit" line a figure.
The delay is measured in the page: from the keydown event to the moment the
first result is in the list, for the first keystroke (which also loads the
index) and for further ones (median and worst of 20)."""
import argparse
import importlib.util
import os
import random
import statistics
import subprocess
import sys
import tempfile
import time
import urllib.parse

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
_spec = importlib.util.spec_from_file_location("site_browser", os.path.join(ROOT, "tests", "site", "site_browser.py"))
site_browser = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(site_browser)

SYLLABLES = ["ka", "lo", "mi", "ne", "ru", "ta", "sch", "ber", "gen", "üb", "straß", "on", "ex", "li", "qua", "vor"]


def vocabulary(rng, count):
    words = set()
    while len(words) < count:
        words.add("".join(rng.choice(SYLLABLES) for _ in range(rng.randint(2, 4))))
    return sorted(words) + ["Schlüssel", "Feiertage", "饺子", "上海", "Straße"]


def rtf_escape(text):
    out = []
    for ch in text:
        if ord(ch) < 128:
            out.append(ch)
        else:
            code = ord(ch)
            out.append("\\u%d?" % (code - 65536 if code > 32767 else code))
    return "".join(out)


def write_tree(root, items, fanout, rng, words):
    folders = [root]
    os.makedirs(root)
    for i in range(1, items + 1):
        parent = folders[(i - 1) // fanout]
        d = os.path.join(parent, "n%d" % ((i - 1) % fanout + 1))
        os.mkdir(d)
        folders.append(d)
        with open(os.path.join(d, ".caption"), "w", encoding="utf-8") as f:
            f.write("%s %d\n" % (rng.choice(words).capitalize(), i))
        text = " ".join(rng.choice(words) for _ in range(140))
        with open(os.path.join(d, "_~_~_notes.rtf"), "w", encoding="ascii") as f:
            f.write("{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\pard\\f0\\fs20 Item %d\\par %s\\par}" %
                    (i, rtf_escape(text)))


KEYDOWN_TO_RESULT = """new Promise(done => {
  const box = document.getElementById('qb-q'), list = document.querySelector('#qb-hits ul');
  let down = 0;
  box.addEventListener('keydown', () => { down = performance.now(); }, {capture: true, once: true});
  const seen = new MutationObserver(() => {
    if (down && list.querySelector('li')) { seen.disconnect(); done(performance.now() - down); }
  });
  seen.observe(list, {childList: true});
  window.__qbArmed = true;
})"""


def measure(b, url, query):
    """ms from the keydown of the last character of query to the first result."""
    b.open(url)
    b.eval("document.getElementById('qb-q').focus()")
    if len(query) > 1:
        b.send("Input.insertText", {"text": query[:-1]})
        b.wait_for("document.querySelector('#qb-hits li')")
        b.eval("document.querySelector('#qb-hits ul').textContent = ''")
    b.send("Runtime.evaluate", {"expression": "window.__qbDelay = null; (%s).then(v => window.__qbDelay = v)" %
                                KEYDOWN_TO_RESULT})
    ch = query[-1]
    b.send("Input.dispatchKeyEvent", {"type": "keyDown", "key": ch, "text": ch})
    b.send("Input.dispatchKeyEvent", {"type": "keyUp", "key": ch})
    return b.wait_for("window.__qbDelay", timeout=30)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--items", type=int, default=10000)
    ap.add_argument("quillbook", nargs="?", default=os.path.join(ROOT, "build", "out", "quillbook"))
    ap.add_argument("chromium", nargs="?", default="/usr/bin/chromium")
    a = ap.parse_args()
    rng = random.Random(7)
    words = vocabulary(rng, 20000)
    n = a.items
    with tempfile.TemporaryDirectory() as work:
        src = os.path.join(work, "tree")
        write_tree(src, n, 10, rng, words)
        db = os.path.join(work, "big.kvdb")
        subprocess.run([a.quillbook, "db", "import", src, db], check=True, stdout=subprocess.DEVNULL)
        site = os.path.join(work, "site")
        t0 = time.monotonic()
        subprocess.run([a.quillbook, "export", "--db", db, "--whole", "--site", site, "-q"], check=True)
        seconds = time.monotonic() - t0
        index_js = os.path.getsize(os.path.join(site, "_site", "search-index.js"))
        print("site_%dk_export_seconds: %.1f s  (site alone, built-in engine)" % (n // 1000, seconds))
        print("site_%dk_search_data_per_item: %.0f bytes" % (n // 1000, index_js / n))
        print("site_%dk_search_data: %.1f MB" % (n // 1000, index_js / 1e6))
        print("site_%dk_index_html: %.1f KB" % (n // 1000, os.path.getsize(os.path.join(site, "index.html")) / 1e3))
        pages = [os.path.join(dp, f) for dp, _, fs in os.walk(os.path.join(site, "p")) for f in fs
                 if f.endswith(".html")]
        sizes = sorted(os.path.getsize(p) for p in pages)
        print("site_%dk_page_median: %.1f KB" % (n // 1000, statistics.median(sizes) / 1e3))
        print("site_%dk_page_largest: %.1f KB" % (n // 1000, sizes[-1] / 1e3))
        url = "file://" + urllib.parse.quote(sorted(pages)[len(pages) // 2])
        with tempfile.TemporaryDirectory() as profile, open(os.path.join(work, "chromium.log"), "w") as log:
            b = site_browser.Browser(a.chromium, profile, log)
            try:
                b.attach()
                cold = measure(b, url, "s")
                queries = [rng.choice(words)[:k] for k in (2, 3, 4, 5) for _ in range(5)]
                warm = []
                for q in queries:
                    warm.append(measure(b, url, q))
            finally:
                b.close()
        print("site_%dk_first_keystroke_to_result: %.0f ms  (loads the search data)" % (n // 1000, cold))
        print("site_%dk_keystroke_to_result_median: %.0f ms  (20 prefixes of 2-5 letters)" %
              (n // 1000, statistics.median(warm)))
        print("site_%dk_keystroke_to_result_worst: %.0f ms" % (n // 1000, max(warm)))


if __name__ == "__main__":
    sys.exit(main())
