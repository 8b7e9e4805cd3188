#!/usr/bin/env python3
"""Full-text search of a help file (python3-chm) beside a search of its page texts.

usage: fts_check.py FILE.chm PAGE_FOLDER CODEPAGE [--titles] [--contents=FILE.hhc] WORD...
Prints, per word and page, "CHM<TAB>word<TAB>url<TAB>title" for the help file's
hits and "TEXT<TAB>word<TAB>url<TAB>title" for the pages whose text (or title,
with --titles) holds the word; a page without a title goes by its contents
entry's name. A word the code page cannot hold prints
"SKIP<TAB>word".
"""
import html
import os
import re
import struct
import sys
import unicodedata
import urllib.parse

import chm.extra
from chm import chm

# Debian's module misses an import that LoadCHM needs when $FIftiMain exists.
chm.extra.struct = struct
chm.struct = struct


def page_text(raw):
    text = re.sub(r"(?is)<(script|style)\b.*?</\1\s*>", " ", raw)
    text = re.sub(r"(?s)<!--.*?-->", " ", text)
    title = re.search(r"(?is)<title[^>]*>(.*?)</title", text)
    text = re.sub(r"(?s)<[^>]*>", " ", text)
    title = html.unescape(re.sub(r"\s+", " ", title.group(1))).strip() if title else ""
    return html.unescape(text), title


def is_cjk(word):
    return any(unicodedata.name(c, "").startswith("CJK") for c in word)


def holds(text, word):
    text = text.casefold()
    if is_cjk(word):
        return word in text
    return re.search(r"(?<!\w)" + re.escape(word) + r"(?!\w)", text) is not None


def main():
    args = sys.argv[1:]
    titles = "--titles" in args
    names = {}
    for a in args:
        if a.startswith("--contents="):
            with open(a[len("--contents="):], encoding="utf-8") as fh:
                for name, local in re.findall(r'name="Name" value="([^"]*)">\s*<param name="Local" value="([^"]*)"',
                                              fh.read()):
                    local = "/" + urllib.parse.unquote(local).replace("\\", "/").lstrip("./")
                    names.setdefault(local, html.unescape(name))
    args = [a for a in args if not a.startswith("--")]
    chm_file, folder, codepage, words = args[0], args[1], "cp" + args[2], args[3:]
    f = chm.CHMFile()
    if not f.LoadCHM(chm_file):
        print("ERROR cannot open", chm_file)
        return 2
    pages = {}
    for root, _, files in os.walk(folder):
        for name in files:
            if name.lower().endswith((".html", ".htm")):
                path = os.path.join(root, name)
                with open(path, "rb") as fh:
                    raw = fh.read().decode("utf-8", "replace")
                url = "/" + os.path.relpath(path, folder).replace(os.sep, "/")
                text, title = page_text(raw)
                pages[url] = (text, title or names.get(url, ""))
    for word in words:
        folded = word.casefold()
        try:
            # Readers look a word up lower-cased as typed ("straße", not "strasse").
            query = word.lower().encode(codepage)
        except UnicodeEncodeError:
            print("SKIP\t" + word)
            continue
        result = f.Search(query, 1, 1 if titles else 0)
        hits = result[1] if result else {}
        for title, url in sorted(hits.items()):
            print("CHM\t%s\t/%s\t%s" % (word, url.decode(codepage, "replace").lstrip("/"),
                                        title.decode(codepage, "replace")))
        for url, (text, title) in sorted(pages.items()):
            if holds(title if titles else text + " " + title, folded):
                # The help file keeps titles in its code page.
                shown = title.encode(codepage, "replace").decode(codepage)
                print("TEXT\t%s\t%s\t%s" % (word, url, shown))
    return 0


if __name__ == "__main__":
    sys.exit(main())
