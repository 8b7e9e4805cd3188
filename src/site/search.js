// Searches window.QB_SEARCH (search-index.js) for the words of ?q=; every word
// must occur on a page, a word also matching longer words that begin with it.
(function () {
  "use strict";
  var data = window.QB_SEARCH;
  var box = document.getElementById("q");
  var out = document.getElementById("results");
  var status = document.getElementById("search-status");
  if (!data || !box || !out) return;
  // Full case folding as the index does it, near enough: "Straße" and "STRASSE" meet at "strasse".
  function fold(s) { return s.toUpperCase().toLowerCase(); }
  function words(text) {
    var list = [];
    if (window.Intl && Intl.Segmenter) {
      var seg = new Intl.Segmenter(undefined, { granularity: "word" });
      for (var part of seg.segment(text)) if (part.isWordLike) list.push(fold(part.segment));
    } else {
      text.split(/[\s\p{P}\p{S}]+/u).forEach(function (w) { if (w) list.push(fold(w)); });
    }
    return list;
  }
  var keys = Object.keys(data.words);
  function pagesFor(word) {
    var hit = {};
    var exact = data.words[word];
    if (exact) exact.forEach(function (p) { hit[p] = 2; });
    for (var i = 0; i < keys.length; i++) {
      var k = keys[i];
      if (k !== word && k.lastIndexOf(word, 0) === 0)
        data.words[k].forEach(function (p) { if (!hit[p]) hit[p] = 1; });
    }
    return hit;
  }
  function run(query) {
    out.textContent = "";
    var ws = words(query);
    if (!ws.length) { status.textContent = ""; return; }
    var score = null;
    ws.forEach(function (w) {
      var hit = pagesFor(w), next = {};
      Object.keys(hit).forEach(function (p) {
        if (score === null || p in score) next[p] = (score ? score[p] : 0) + hit[p];
      });
      score = next;
    });
    // Pages whose caption holds a word come first.
    Object.keys(score).forEach(function (p) {
      var caption = fold(data.pages[p][1]);
      ws.forEach(function (w) { if (caption.indexOf(w) >= 0) score[p] += 3; });
    });
    var ids = Object.keys(score).map(Number).sort(function (a, b) { return score[b] - score[a] || a - b; });
    status.textContent = ids.length === 1 ? "1 page found." : ids.length + " pages found.";
    ids.forEach(function (id) {
      var page = data.pages[id];
      var li = document.createElement("li");
      var a = document.createElement("a");
      a.href = page[0];
      a.textContent = page[1];
      li.appendChild(a);
      if (page[2]) {
        var where = document.createElement("span");
        where.className = "where";
        where.textContent = page[2];
        li.appendChild(where);
      }
      out.appendChild(li);
    });
  }
  var q = new URLSearchParams(window.location.search).get("q") || "";
  box.value = q;
  run(q);
})();
