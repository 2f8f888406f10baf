#!/usr/bin/env python3
"""check_links.py <source-dir>

Checks that every relative link in README.md, CONTRIBUTING.md and doc/*.md
leads somewhere: to a file or folder of the repository, and, with #anchor,
to a heading of that document as GitHub names it (lower case, spaces
turned into hyphens, punctuation dropped, -1, -2... after repeated
headings). Links inside code are not links and are skipped; so are links
with a scheme (https:, mailto:).
"""

import pathlib
import re
import sys

LINK = re.compile(r"\[[^\]]*\]\(([^)\s]+)\)")
HEADING = re.compile(r"^#{1,6}\s+(.*?)\s*#*\s*$")
FENCE = re.compile(r"^(```|~~~)")


def prose_lines(text):
    """The lines outside fenced and indented code blocks."""
    fenced = False
    for line in text.splitlines():
        if FENCE.match(line):
            fenced = not fenced
            continue
        if fenced or line.startswith("    "):
            continue
        yield line


def anchor(heading, seen):
    text = re.sub(r"\[([^\]]*)\]\([^)]*\)", r"\1", heading).replace("`", "")
    slug = re.sub(r"[^\w\- ]", "", text.lower()).replace(" ", "-")
    count = seen.get(slug, 0)
    seen[slug] = count + 1
    return slug if count == 0 else f"{slug}-{count}"


def anchors(path):
    seen = {}
    text = path.read_text(encoding="utf-8")
    return {anchor(m.group(1), seen) for line in prose_lines(text) if (m := HEADING.match(line))}


def broken_links(document, root):
    for line in prose_lines(document.read_text(encoding="utf-8")):
        for target in LINK.findall(re.sub(r"`[^`]*`", "", line)):
            if re.match(r"[a-z][a-z0-9+.-]*:", target):
                continue
            name, _, fragment = target.partition("#")
            linked = (document.parent / name).resolve() if name else document
            if not linked.exists() or root not in [linked, *linked.parents]:
                yield f"{document.relative_to(root)}: {target}: no such file"
            elif fragment and (linked.suffix != ".md" or fragment not in anchors(linked)):
                yield f"{document.relative_to(root)}: {target}: no such heading"


def main():
    root = pathlib.Path(sys.argv[1]).resolve()
    documents = [root / "README.md", root / "CONTRIBUTING.md", *sorted((root / "doc").glob("*.md"))]
    problems = [problem for document in documents for problem in broken_links(document, root)]
    for problem in problems:
        print(problem, file=sys.stderr)
    if problems:
        sys.exit(1)
    print(f"every relative link of {len(documents)} documents leads to a file or a heading")


if __name__ == "__main__":
    main()
