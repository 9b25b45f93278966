#!/usr/bin/env python3
"""Every relative link of the Markdown pages at the top and in doc/ leads to a file that
exists and, with #anchor, to a heading of that page (anchors as GitHub makes them).
Usage: check_links.py REPO_ROOT"""
import glob
import os
import re
import sys


def read(path):  # without fenced code blocks
    return re.sub(r"^ *```.*?^ *```", "", open(path, encoding="utf-8").read(), flags=re.S | re.M)


def anchors(path):
    seen = {}
    for heading in re.findall(r"^#+ +(.+?) *$", read(path), re.M):
        slug = re.sub(r"[^\w\- ]", "", heading.lower()).replace(" ", "-")
        seen[slug] = seen.get(slug, -1) + 1
        yield slug + ("-%d" % seen[slug] if seen[slug] else "")


root = sys.argv[1]
broken = []
for page in glob.glob(os.path.join(root, "*.md")) + glob.glob(os.path.join(root, "doc", "*.md")):
    for target in re.findall(r"\]\(([^)\s:]+)\)", re.sub(r"`[^`\n]*`", "", read(page))):
        name, _, anchor = target.partition("#")
        path = os.path.normpath(os.path.join(os.path.dirname(page), name)) if name else page
        if not os.path.exists(path) or anchor and anchor not in anchors(path):
            broken.append("%s: %s" % (os.path.relpath(page, root), target))
print("\n".join(["broken links:"] + broken) if broken else "every relative link resolves")
sys.exit(1 if broken else 0)
