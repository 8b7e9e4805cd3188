// Search as you type, result snippets, marked words on the page opened from a
// result, previous/next keys and the light/dark switch. The index
// (search-index.js) is loaded on the first search only, so pages stay light.
(function () {
  "use strict";
  var body = document.body;
  var root = body.getAttribute("data-root") || "";
  var data = null, loading = null;

  // Full case folding as the index does it, near enough: "Straße" and "STRASSE" meet at "strasse".
  function fold(s) { return s.toUpperCase().toLowerCase(); }
  var segmenter = window.Intl && Intl.Segmenter ? new Intl.Segmenter(undefined, { granularity: "word" }) : null;
  // [{text, start, end, word}] of a text, word true for words.
  function segments(text) {
    var list = [];
    if (segmenter) {
      for (var part of segmenter.segment(text))
        list.push({ text: part.segment, start: part.index, end: part.index + part.segment.length, word: !!part.isWordLike });
    } else {
      var re = /[\p{L}\p{N}_]+/gu, m, last = 0;
      while ((m = re.exec(text))) {
        if (m.index > last) list.push({ text: text.slice(last, m.index), start: last, end: m.index, word: false });
        list.push({ text: m[0], start: m.index, end: m.index + m[0].length, word: true });
        last = m.index + m[0].length;
      }
      if (last < text.length) list.push({ text: text.slice(last), start: last, end: text.length, word: false });
    }
    return list;
  }
  function words(text) {
    return segments(text).filter(function (s) { return s.word; }).map(function (s) { return fold(s.text); });
  }
  function startsWithAny(w, query) {
    for (var i = 0; i < query.length; i++) if (w.lastIndexOf(query[i], 0) === 0) return true;
    return false;
  }

  function withIndex(done) {
    if (data) return done();
    if (window.QB_SEARCH) { data = window.QB_SEARCH; decodeInBackground(); return done(); }
    if (!loading) {
      loading = [];
      var s = document.createElement("script");
      s.src = root + "_site/search-index.js";
      s.onload = function () {
        data = window.QB_SEARCH;
        loading.forEach(function (f) { f(); });
        decodeInBackground();
      };
      document.head.appendChild(s);
    }
    loading.push(done);
  }

  // First index of the sorted word list not below w.
  function lowerBound(w) {
    var lo = 0, hi = data.words.length;
    while (lo < hi) {
      var mid = (lo + hi) >> 1;
      if (data.words[mid] < w) lo = mid + 1; else hi = mid;
    }
    return lo;
  }
  // Pages of word k: the index keeps them as base-36 gaps, decoded once, in
  // idle time after the index is loaded or when first searched.
  var decoded = [];
  function pagesOf(k) {
    var list = decoded[k];
    if (list) return list;
    var gaps = data.hits[k], page = 0, v = 0;
    list = [];
    for (var i = 0; i < gaps.length; i++) {
      var c = gaps.charCodeAt(i);
      if (c === 44) { page += v; list.push(page); v = 0; }
      else v = v * 36 + (c <= 57 ? c - 48 : c - 87);
    }
    if (gaps.length) list.push(page + v);
    return (decoded[k] = list);
  }
  function decodeInBackground() {
    var k = 0, later = window.requestIdleCallback || function (f) { return setTimeout(f, 1); };
    function slice(deadline) {
      var until = performance.now() + (deadline && deadline.timeRemaining ? Math.min(8, deadline.timeRemaining()) : 4);
      while (k < data.words.length && performance.now() < until)
        for (var n = 0; n < 200 && k < data.words.length; n++) pagesOf(k++);
      if (k < data.words.length) later(slice);
    }
    later(slice);
  }
  // Per page, reused between searches: the best score of the word being
  // matched (2 the word itself, 1 a longer word beginning with it) and the sum.
  var best = null, total = null, captions = [];
  function captionOf(p) { return captions[p] || (captions[p] = fold(data.pages[p][1])); }
  // Pages holding every word (or a longer word beginning with it), best first.
  function find(query) {
    var ws = words(query);
    if (!ws.length) return { words: ws, ids: [] };
    if (!best) { best = new Uint8Array(data.pages.length); total = new Int32Array(data.pages.length); }
    var ids = null;
    ws.forEach(function (w) {
      var touched = [];
      for (var k = lowerBound(w); k < data.words.length && data.words[k].lastIndexOf(w, 0) === 0; k++) {
        var score = data.words[k] === w ? 2 : 1, list = pagesOf(k);
        for (var i = 0; i < list.length; i++) {
          var p = list[i];
          if (!best[p]) touched.push(p);
          if (best[p] < score) best[p] = score;
        }
      }
      if (ids === null) {
        ids = touched;
        for (var i = 0; i < ids.length; i++) total[ids[i]] = best[ids[i]];
      } else {
        var kept = [];
        for (var i = 0; i < ids.length; i++) if (best[ids[i]]) { total[ids[i]] += best[ids[i]]; kept.push(ids[i]); }
        ids = kept;
      }
      for (var i = 0; i < touched.length; i++) best[touched[i]] = 0;
    });
    // Pages whose caption holds a word come first.
    ids.forEach(function (p) {
      var caption = captionOf(p);
      ws.forEach(function (w) { if (caption.indexOf(w) >= 0) total[p] += 3; });
    });
    ids.sort(function (a, b) { return total[b] - total[a] || a - b; });
    return { words: ws, ids: ids };
  }

  // The text around the first matched word, matched words in <mark>.
  function snippet(text, query, into) {
    var segs = segments(text), first = -1;
    for (var i = 0; i < segs.length && first < 0; i++)
      if (segs[i].word && startsWithAny(fold(segs[i].text), query)) first = i;
    var from = first < 0 ? 0 : Math.max(0, first - 12), to = Math.min(segs.length, from + 48);
    if (from > 0) into.appendChild(document.createTextNode("\u2026 "));
    for (var k = from; k < to; k++) {
      var s = segs[k];
      if (s.word && startsWithAny(fold(s.text), query)) {
        var m = document.createElement("mark");
        m.textContent = s.text;
        into.appendChild(m);
      } else {
        into.appendChild(document.createTextNode(s.text));
      }
    }
    if (to < segs.length) into.appendChild(document.createTextNode(" \u2026"));
  }

  function statusText(n) {
    if (n === 0) return body.getAttribute("data-found-none") || "";
    if (n === 1) return body.getAttribute("data-found-one") || "";
    return (body.getAttribute("data-found") || "%d").replace("%d", n);
  }

  function resultItem(page, query, base) {
    var li = document.createElement("li");
    var a = document.createElement("a");
    a.href = base + page[0] + "?highlight=" + encodeURIComponent(query.join(" "));
    var title = document.createElement("span");
    title.className = "hit-title";
    title.textContent = page[1];
    a.appendChild(title);
    if (page[2]) {
      var where = document.createElement("span");
      where.className = "where";
      where.textContent = page[2];
      a.appendChild(where);
    }
    if (page[3]) {
      var p = document.createElement("span");
      p.className = "snippet";
      snippet(page[3], query, p);
      a.appendChild(p);
    }
    li.appendChild(a);
    return li;
  }

  function show(list, status, query, limit, base) {
    var found = find(query);
    list.textContent = "";
    status.textContent = found.words.length ? statusText(found.ids.length) : "";
    var n = limit ? Math.min(limit, found.ids.length) : found.ids.length;
    for (var i = 0; i < n; i++) list.appendChild(resultItem(data.pages[found.ids[i]], found.words, base));
    return found;
  }

  // Up and down move through the results; up from the first goes back to the box.
  function arrows(box, list, onEscape) {
    function links() { return Array.prototype.slice.call(list.querySelectorAll("a")); }
    box.addEventListener("keydown", function (e) {
      if (e.key === "ArrowDown") {
        var l = links();
        if (l.length) { e.preventDefault(); l[0].focus(); }
      } else if (e.key === "Escape" && onEscape) {
        onEscape();
      }
    });
    list.addEventListener("keydown", function (e) {
      var l = links(), i = l.indexOf(document.activeElement);
      if (i < 0) return;
      if (e.key === "ArrowDown" && i + 1 < l.length) { e.preventDefault(); l[i + 1].focus(); }
      else if (e.key === "ArrowUp") { e.preventDefault(); (i > 0 ? l[i - 1] : box).focus(); }
      else if (e.key === "Escape") { e.preventDefault(); box.focus(); if (onEscape) onEscape(); }
    });
  }

  // The search page: every result, as the reader types and from ?q=.
  var pageBox = document.getElementById("q"), results = document.getElementById("results");
  if (pageBox && results) {
    var pageStatus = document.getElementById("search-status");
    var run = function () {
      withIndex(function () {
        show(results, pageStatus, pageBox.value, 0, root);
        var url = new URL(window.location.href);
        if (pageBox.value) url.searchParams.set("q", pageBox.value); else url.searchParams.delete("q");
        history.replaceState(null, "", url);
      });
    };
    pageBox.value = new URLSearchParams(window.location.search).get("q") || "";
    pageBox.addEventListener("input", run);
    arrows(pageBox, results, null);
    run();
  }

  // The box at the top of every other page: the best results under it while typing.
  var box = document.getElementById("qb-q"), hits = document.getElementById("qb-hits");
  if (box && hits) {
    var hitList = hits.querySelector("ul"), hitStatus = hits.querySelector(".hits-status");
    var close = function () { hits.hidden = true; };
    box.addEventListener("focus", function () { withIndex(function () {}); });
    box.addEventListener("input", function () {
      withIndex(function () {
        var found = show(hitList, hitStatus, box.value, 10, root);
        hits.hidden = !found.words.length;
        if (found.ids.length > 10) {
          var li = document.createElement("li");
          var all = document.createElement("a");
          all.className = "all";
          all.href = root + "search.html?q=" + encodeURIComponent(box.value);
          all.textContent = statusText(found.ids.length) + " \u2192";
          li.appendChild(all);
          hitList.appendChild(li);
        }
      });
    });
    arrows(box, hitList, close);
    document.addEventListener("click", function (e) { if (!hits.contains(e.target) && e.target !== box) close(); });
  }

  // The words searched for, marked on the page opened from a result.
  var highlight = new URLSearchParams(window.location.search).get("highlight");
  var main = document.getElementById("main");
  if (highlight && main) {
    var query = words(highlight), first = null;
    var walker = document.createTreeWalker(main, NodeFilter.SHOW_TEXT, {
      acceptNode: function (n) {
        var p = n.parentNode;
        return p.closest("nav, script, style, mark") ? NodeFilter.FILTER_REJECT : NodeFilter.FILTER_ACCEPT;
      }
    });
    var nodes = [];
    while (walker.nextNode()) nodes.push(walker.currentNode);
    nodes.forEach(function (node) {
      var segs = segments(node.nodeValue);
      if (!segs.some(function (s) { return s.word && startsWithAny(fold(s.text), query); })) return;
      var frag = document.createDocumentFragment();
      segs.forEach(function (s) {
        if (s.word && startsWithAny(fold(s.text), query)) {
          var m = document.createElement("mark");
          m.textContent = s.text;
          frag.appendChild(m);
          if (!first) first = m;
        } else {
          frag.appendChild(document.createTextNode(s.text));
        }
      });
      node.parentNode.replaceChild(frag, node);
    });
    if (first) first.scrollIntoView({ block: "center" });
  }

  // Light or dark, remembered.
  var theme = document.getElementById("qb-theme");
  if (theme) {
    var dark = function () {
      var t = document.documentElement.dataset.theme;
      return t ? t === "dark" : window.matchMedia("(prefers-color-scheme: dark)").matches;
    };
    theme.hidden = false;
    theme.setAttribute("aria-pressed", String(dark()));
    theme.addEventListener("click", function () {
      var next = dark() ? "light" : "dark";
      document.documentElement.dataset.theme = next;
      theme.setAttribute("aria-pressed", String(next === "dark"));
      try { localStorage.setItem("qb-theme", next); } catch (e) { /* private mode: for this page only */ }
    });
  }

  // Keys: left/right previous and next page, s or / search, ? shows the keys.
  var keys = document.getElementById("qb-keys"), keysButton = document.getElementById("qb-keys-button");
  if (keysButton && keys && keys.showModal) {
    keysButton.hidden = false;
    keysButton.addEventListener("click", function () { keys.showModal(); });
  }
  document.addEventListener("keydown", function (e) {
    if (e.altKey || e.ctrlKey || e.metaKey || e.defaultPrevented) return;
    var t = e.target;
    if (t && (t.isContentEditable || /^(INPUT|TEXTAREA|SELECT)$/.test(t.tagName))) return;
    if (keys && keys.open) return;
    var link = null;
    if (e.key === "ArrowLeft") link = document.querySelector("link[rel=prev]");
    else if (e.key === "ArrowRight") link = document.querySelector("link[rel=next]");
    if (link) { e.preventDefault(); window.location.href = link.href; return; }
    if (e.key === "s" || e.key === "/") {
      var target = box || pageBox;
      if (target) { e.preventDefault(); target.focus(); }
    } else if (e.key === "?" && keys && keys.showModal) {
      e.preventDefault();
      keys.showModal();
    }
  });
})();
