#!/usr/bin/env python3
"""check_messages.py <source-dir> <built-manual-page>

Checks that the manual page and the README quote every message of the
program as it prints it.

The program's messages are the string literals of the expressions that
raise or report a failure in src/ (Failure(...), reject(...), report(...)).
A message is often put together from several literals around a path or a
number; every literal, cut at its line ends, must appear word for word in
the DIAGNOSTICS section of the rendered manual page and in the README.

In the manual page source, a message must also be written so that every
renderer shows it as typed: hyphen-minus as \\-, apostrophe as \\(aq.
"""

import pathlib
import re
import shutil
import subprocess
import sys

RAISING_CALL = re.compile(r"\b(?:Failure|reject|report)\s*\(")
ESCAPES = {"n": "\n", "t": "\t", "\\": "\\", '"': '"', "'": "'", "0": "\0"}


def strip_comments(code):
    """Drops // and /* */ comments, keeping string and character literals."""
    out, i = [], 0
    while i < len(code):
        if code.startswith("//", i):
            i = code.find("\n", i)
            i = len(code) if i < 0 else i
        elif code.startswith("/*", i):
            i = code.index("*/", i) + 2
        elif code[i] in "\"'":
            end = literal_end(code, i)
            out.append(code[i:end])
            i = end
        else:
            out.append(code[i])
            i += 1
    return "".join(out)


def literal_end(code, start):
    """Index just past the string or character literal starting at start."""
    quote, i = code[start], start + 1
    while code[i] != quote:
        i += 2 if code[i] == "\\" else 1
    return i + 1


def decode(body):
    out, i = [], 0
    while i < len(body):
        if body[i] == "\\":
            out.append(ESCAPES[body[i + 1]])
            i += 2
        else:
            out.append(body[i])
            i += 1
    return "".join(out)


def call_literals(code, open_paren):
    """The string literals between the parenthesis at open_paren and its
    partner, adjacent literals joined as the compiler joins them."""
    literals, depth, i, previous_was_literal = [], 0, open_paren, False
    while True:
        c = code[i]
        if c == '"':
            end = literal_end(code, i)
            text = decode(code[i + 1 : end - 1])
            if previous_was_literal:
                literals[-1] += text
            else:
                literals.append(text)
            previous_was_literal = True
            i = end
            continue
        if c == "'":
            i = literal_end(code, i)
        else:
            if c == "(":
                depth += 1
            elif c == ")":
                depth -= 1
                if depth == 0:
                    return literals
            i += 1
        if not c.isspace():
            previous_was_literal = False


def program_fragments(source_dir):
    fragments = {}
    for path in sorted((source_dir / "src").rglob("*.cc")):
        if path.name.endswith("_test.cc"):
            continue
        code = strip_comments(path.read_text(encoding="utf-8"))
        for match in RAISING_CALL.finditer(code):
            for literal in call_literals(code, match.end() - 1):
                for piece in literal.split("\n"):
                    piece = piece.strip()
                    if piece:
                        fragments.setdefault(piece, path.relative_to(source_dir))
    return fragments


def diagnostics_of(man_page):
    """The DIAGNOSTICS section, rendered as plain text on lines wide enough
    that no message is broken."""
    rendered = subprocess.run(
        ["groff", "-man", "-Tutf8", "-P-cbou", "-rLL=300n"],
        input=man_page.read_bytes(),
        capture_output=True,
        check=True,
    ).stdout.decode("utf-8")
    match = re.search(r"^DIAGNOSTICS\n(.*?)^\S", rendered, re.S | re.M)
    return match.group(1)


def badly_escaped_messages(man_page):
    """Message lines of DIAGNOSTICS (the tags after .TP and .TQ) that hold a
    bare hyphen or apostrophe, which renderers may turn into other characters."""
    lines = man_page.read_text(encoding="utf-8").splitlines()
    start = lines.index(".SH DIAGNOSTICS")
    end = next(i for i in range(start + 1, len(lines)) if lines[i].startswith(".SH "))
    bad = []
    for i in range(start + 1, end):
        if lines[i - 1] in (".TP", ".TQ") and re.search(r"(?<!\\)-|['`]", lines[i]):
            bad.append(f"line {i + 1}: {lines[i]}")
    return bad


def main():
    source_dir, man_page = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2])
    readme = (source_dir / "README.md").read_text(encoding="utf-8")
    fragments = program_fragments(source_dir)
    if len(fragments) < 30:
        sys.exit(f"only {len(fragments)} message fragments found in src/: is the scan broken?")

    problems = []
    documents = [("README.md", readme)]
    if shutil.which("groff"):
        documents.append(("manual page, DIAGNOSTICS", diagnostics_of(man_page)))
    else:
        print("SKIP: groff is not installed; the manual page was not checked")
    for name, text in documents:
        for fragment, origin in fragments.items():
            if fragment not in text:
                problems.append(f"{name} lacks {fragment!r} (a message of {origin})")
    for line in badly_escaped_messages(man_page):
        problems.append(f"manual page: write - as \\- and ' as \\(aq in messages: {line}")

    for problem in problems:
        print(problem, file=sys.stderr)
    if problems:
        sys.exit(1)
    print(f"{len(fragments)} message fragments found in README.md and the manual page")


if __name__ == "__main__":
    main()
