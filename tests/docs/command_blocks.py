#!/usr/bin/env python3
"""Lists or prints the command blocks of README.md and docs/*.md: indented code blocks, each with the
HTML comment that precedes it, if any. A block preceded by "<!-- illustrative" or "<!-- not run" is
shown by the documentation but not run.
  command_blocks.py ROOT            one line per block: file, line, run|skip, first line
  command_blocks.py ROOT FILE LINE  the block's text, unindented"""
import glob
import os
import sys


def blocks(path):
    lines = open(path, encoding="utf-8").read().split("\n")
    found = []
    i = 0
    while i < len(lines):
        starts = lines[i].startswith("    ") and (i == 0 or lines[i - 1].strip() == "" or lines[i - 1].startswith("<!--"))
        if not starts:
            i += 1
            continue
        k = i - 1
        while k >= 0 and lines[k].strip() == "":
            k -= 1
        note = lines[k].strip() if k >= 0 and lines[k].strip().startswith("<!--") else ""
        body = []
        j = i
        while j < len(lines) and (lines[j].startswith("    ") or lines[j].strip() == ""):
            body.append(lines[j][4:])
            j += 1
        while body and body[-1].strip() == "":
            body.pop()
        run = not (note.startswith("<!-- illustrative") or note.startswith("<!-- not run") or
                   note.startswith("<!-- nginx.conf"))
        found.append((i + 1, run, "\n".join(body)))
        i = j
    return found


def main():
    root = sys.argv[1]
    files = [os.path.join(root, "README.md")] + sorted(glob.glob(os.path.join(root, "docs", "*.md")))
    if len(sys.argv) == 4:
        for line, _, text in blocks(os.path.join(root, sys.argv[2])):
            if line == int(sys.argv[3]):
                print(text)
                return 0
        return 1
    for path in files:
        for line, run, text in blocks(path):
            print("%s\t%d\t%s\t%s" % (os.path.relpath(path, root), line, "run" if run else "skip",
                                      text.split("\n")[0]))
    return 0


sys.exit(main())
