#!/usr/bin/env python3
"""Peak memory of exporting one large note: a database with one item whose RTF
note holds about SIZE MB of text (paragraphs of words, a bold heading every
fifty), exported with the built-in engine and compiled.

usage: bench/big_note.py [--mb SIZE] [QUILLBOOK]

Prints one "name: value unit" line a figure: the export's wall time, its peak
resident memory (from the kernel's accounting of the finished child), and that
peak over the note's size."""
import argparse
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
WORDS = ("the quick brown fox jumps over lazy dog river house garden morning evening "
         "Hamburg Elbe street window table").split()


def write_note(path, size):
    rng = random.Random(1)
    written = 0
    with open(path, "w") as f:
        f.write(r"{\rtf1\ansi\deff0{\fonttbl{\f0 Arial;}}\f0\fs20 ")
        para = 0
        while written < size:
            line = " ".join(rng.choice(WORDS) for _ in range(80))
            if para % 50 == 0:
                line = r"{\b Heading %d}\par " % para + line
            piece = line + "\\par\n"
            f.write(piece)
            written += len(piece)
            para += 1
        f.write("}")
    return os.path.getsize(path)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--mb", type=int, default=200)
    parser.add_argument("quillbook", nargs="?", default=os.path.join(ROOT, "build", "out", "quillbook"))
    args = parser.parse_args()
    work = tempfile.mkdtemp(prefix="qb-big-note-")
    try:
        item = os.path.join(work, "src", "1")
        os.makedirs(item)
        with open(os.path.join(item, ".caption"), "w") as f:
            f.write("Big note\n")
        note_bytes = write_note(os.path.join(item, "_~_~_notes.rtf"), args.mb << 20)
        db = os.path.join(work, "db.kvdb")
        subprocess.run([args.quillbook, "db", "import", os.path.join(work, "src"), db], check=True,
                       stdout=subprocess.DEVNULL)
        start = time.monotonic()
        child = subprocess.Popen([args.quillbook, "export", "--db", db, "--whole", "--out",
                                  os.path.join(work, "out")], stdout=subprocess.DEVNULL)
        _, status, usage = os.wait4(child.pid, 0)
        seconds = time.monotonic() - start
        if status != 0:
            print("bench: the export failed with status %d" % status, file=sys.stderr)
            return 1
        peak = usage.ru_maxrss * 1024  # kilobytes on Linux
        mb = note_bytes / 2**20
        print("big_note_%dmb_export_seconds: %.1f s  (load %.1f)" % (args.mb, seconds, os.getloadavg()[0]))
        print("big_note_%dmb_peak_rss: %.1f MB" % (args.mb, peak / 2**20))
        print("big_note_%dmb_peak_over_note: %.2f ratio  (note %.1f MB)" % (args.mb, peak / note_bytes, mb))
        return 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
