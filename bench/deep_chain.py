#!/usr/bin/env python3
"""Peak memory and time of exporting a chain of LEVELS items, each the only
sub-item of the one above, with the folder tree kept and readable folder
names: every page's bar names all its ancestors, so pages grow with the
square of the depth.

usage: bench/deep_chain.py [--levels N] [QUILLBOOK]"""
import argparse
import os
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--levels", type=int, default=500)
    parser.add_argument("quillbook", nargs="?", default=os.path.join(ROOT, "build", "out", "quillbook"))
    args = parser.parse_args()
    work = tempfile.mkdtemp(prefix="qb-deep-chain-")
    try:
        path = os.path.join(work, "src")
        for i in range(1, args.levels + 1):
            path = os.path.join(path, str(i))
            os.makedirs(path)
            with open(os.path.join(path, ".caption"), "w") as f:
                f.write("Level %d\n" % i)
            with open(os.path.join(path, "_~_~_notes.rtf"), "w") as f:
                f.write("{\\rtf1\\ansi Note %d\\par}" % i)
        db = os.path.join(work, "db.kvdb")
        subprocess.run([args.quillbook, "db", "import", os.path.join(work, "src"), db], check=True,
                       stdout=subprocess.DEVNULL)
        start = time.monotonic()
        child = subprocess.Popen([args.quillbook, "export", "--db", db, "--whole", "--out", os.path.join(work, "out"),
                                  "--set", "ReadableFolderNames=true"], stdout=subprocess.DEVNULL)
        _, status, usage = os.wait4(child.pid, 0)
        seconds = time.monotonic() - start
        if status != 0:
            print("bench: the export failed with status %d" % status, file=sys.stderr)
            return 1
        print("deep_chain_%d_export_seconds: %.1f s  (load %.1f)" % (args.levels, seconds, os.getloadavg()[0]))
        print("deep_chain_%d_peak_rss: %.1f MB" % (args.levels, usage.ru_maxrss / 1024))
        return 0
    finally:
        # Deeper than Python's recursion allows shutil.rmtree to go.
        subprocess.run(["rm", "-rf", work], check=False)


if __name__ == "__main__":
    sys.exit(main())
