#!/usr/bin/env python3
"""Draws bench/curves.txt (lines "export_<shape>_<figure>: value unit", as
bench/run.sh --curves writes them) as docs/scaling.svg: wall time and peak
memory per tree shape, tree shapes side by side, plain SVG without libraries.

    bench/plot_curves.py [curves.txt] [out.svg]
"""
import html
import os
import re
import sys

SHAPES = [("1k_items", "1k items"), ("10k_items", "10k items"), ("100k_items", "100k items"),
          ("1k_siblings", "1k siblings"), ("4k_siblings", "4k siblings")]
PANELS = [("seconds", "Wall time of export and compile (s)", "#3b6ea8"),
          ("peak_rss", "Peak memory (MB)", "#b5533c")]


def read(path):
    figures, load = {}, None
    with open(path, encoding="utf-8") as f:
        for line in f:
            m = re.match(r"\s*([\w.]+):\s*([-\d.]+)\s*(\S*)", line)
            if not m:
                continue
            if m.group(1) == "load":
                load = m.group(2)
            figures[m.group(1)] = float(m.group(2))
    return figures, load


def panel(x0, y0, w, h, title, color, values):
    top = max([v for _, v in values if v is not None] + [1.0]) * 1.15
    out = [f'<text x="{x0 + w / 2}" y="{y0 - 12}" text-anchor="middle" font-weight="bold">{html.escape(title)}</text>',
           f'<line x1="{x0}" y1="{y0 + h}" x2="{x0 + w}" y2="{y0 + h}" stroke="#444"/>',
           f'<line x1="{x0}" y1="{y0}" x2="{x0}" y2="{y0 + h}" stroke="#444"/>']
    for i in range(5):
        v = top * i / 4
        y = y0 + h - h * i / 4
        out.append(f'<line x1="{x0}" y1="{y}" x2="{x0 + w}" y2="{y}" stroke="#ddd"/>')
        out.append(f'<text x="{x0 - 6}" y="{y + 4}" text-anchor="end" font-size="11">{v:.0f}</text>')
    step = w / len(values)
    points = []
    for i, (label, v) in enumerate(values):
        cx = x0 + step * (i + 0.5)
        out.append(f'<text x="{cx}" y="{y0 + h + 16}" text-anchor="middle" font-size="11">{html.escape(label)}</text>')
        if v is None:
            out.append(f'<text x="{cx}" y="{y0 + h - 6}" text-anchor="middle" font-size="10" fill="#999">n/a</text>')
            continue
        y = y0 + h - h * v / top
        bw = step * 0.5
        out.append(f'<rect x="{cx - bw / 2}" y="{y}" width="{bw}" height="{y0 + h - y}" fill="{color}" opacity="0.85"/>')
        out.append(f'<text x="{cx}" y="{y - 4}" text-anchor="middle" font-size="11">{v:.1f}</text>')
        if i < 3:
            points.append((cx, y))
    if len(points) > 1:
        path = " ".join(f"{x},{y}" for x, y in points)
        out.append(f'<polyline points="{path}" fill="none" stroke="#222" stroke-dasharray="4 3"/>')
    return out


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    src = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "curves.txt")
    dst = sys.argv[2] if len(sys.argv) > 2 else os.path.join(here, "..", "docs", "scaling.svg")
    figures, load = read(src)
    width, height = 900, 380
    body = []
    for k, (key, title, color) in enumerate(PANELS):
        values = [(label, figures.get(f"export_{shape}_{key}")) for shape, label in SHAPES]
        body += panel(70 + k * 440, 50, 360, 260, title, color, values)
    note = "Fan-out 10 trees (dashed: growth with size) and flat trees of siblings; 4 KB notes, plain-text engine"
    if load:
        note += f"; machine load {load} while measured"
    body.append(f'<text x="{width / 2}" y="{height - 12}" text-anchor="middle" font-size="11" fill="#555">'
                f"{html.escape(note)}</text>")
    svg = (f'<svg xmlns="http://www.w3.org/2000/svg" width="{width}" height="{height}" '
           f'font-family="sans-serif" font-size="12">\n<rect width="100%" height="100%" fill="white"/>\n'
           + "\n".join(body) + "\n</svg>\n")
    os.makedirs(os.path.dirname(os.path.abspath(dst)), exist_ok=True)
    with open(dst, "w", encoding="utf-8") as f:
        f.write(svg)
    print(dst)


if __name__ == "__main__":
    main()
