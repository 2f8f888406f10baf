#!/usr/bin/env python3
"""check_messages.py <source-dir> <built-manual-page>

Checks that the manual page and doc/messages.md quote every message of the
program as it prints it.

The program's messages are the expressions that raise or report a failure
in src/ (Failure(...), reject(...), report(...)). A message is often put
together from literals around a path or a number: its literals, with
whatever stands between them as a placeholder, make a pattern, one per line
of the message. Each pattern must match a whole message as the documents
quote it (a code span or a line of doc/messages.md, a line of the rendered
DIAGNOSTICS section of the manual page), not just a part of one: a message
cut short or grown must not pass. A rejection of the command line may be
quoted with or without the "error: " that reject() puts in front.

The messages of sheets and folders dropped on cuesmelt.exe in Explorer
(src/cli/dropped_paths.cc) are doc/messages.md's alone: the manual page is
for the command line.

In the manual page source, a message must also be written so that every
renderer shows it as typed: hyphen-minus as \\-, apostrophe as \\(aq.

The section "In the web page" of doc/messages.md explains some messages again
for the browser, and the page takes those rows in place of the others: each
message it quotes must be one the program prints.
"""

import pathlib
import re
import shutil
import subprocess
import sys

EXPLORER_ONLY = pathlib.Path("src/cli/dropped_paths.cc")
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


HOLE = None  # whatever code stands between two literals of a message


def call_message(code, open_paren):
    """The first argument of the call whose parenthesis is at open_paren: its
    string literals (adjacent ones joined, as the compiler joins them) and a
    HOLE for every stretch of other code between them. Plus signs,
    parentheses and conversions to std::string join literals; anything else
    (a name, a call) puts something of its own in between."""
    parts, between, depth, i = [], "", 0, open_paren + 1

    def mind_the_gap():
        something = re.sub(r"std::string(?:_view)?|[\s+()]", "", between)
        if something and (not parts or parts[-1] is not HOLE):
            parts.append(HOLE)

    while True:
        c = code[i]
        if c == '"':
            end = literal_end(code, i)
            mind_the_gap()
            text = decode(code[i + 1 : end - 1])
            if parts and parts[-1] is not HOLE:
                parts[-1] += text
            else:
                parts.append(text)
            between, i = "", end
            continue
        if (c == ")" and depth == 0) or (c == "," and depth == 0):
            mind_the_gap()
            return parts
        if c == "'":
            end = literal_end(code, i)
            between += code[i:end]
            i = end
            continue
        depth += 1 if c == "(" else -1 if c == ")" else 0
        between += c
        i += 1


def message_patterns(parts, rejection):
    """One regular expression per line of the message that parts spell."""
    lines, line = [], ""
    for part in parts:
        if part is HOLE:
            line += ".*"
            continue
        pieces = part.split("\n")
        line += re.escape(pieces[0])
        for piece in pieces[1:]:
            lines.append(line)
            line = re.escape(piece)
    lines.append(line)
    prefix = "(?:error: )?" if rejection else ""
    return [prefix + line.strip() for line in lines if re.sub(r"\.\*", "", line).strip()]


def program_messages(source_dir):
    """Every message line as a pattern, with the file that prints it."""
    messages = {}
    for path in sorted((source_dir / "src").rglob("*.cc")):
        if path.name.endswith("_test.cc"):
            continue
        code = strip_comments(path.read_text(encoding="utf-8"))
        for match in RAISING_CALL.finditer(code):
            parts = call_message(code, match.end() - 1)
            rejection = match.group(0).startswith("reject")
            for pattern in message_patterns(parts, rejection):
                messages.setdefault(pattern, path.relative_to(source_dir))
    return messages


def quoted_messages(document):
    """What a Markdown document may quote a message as: each code span, each line."""
    spans = re.findall(r"`([^`\n]+)`", document)
    return spans + [line.strip() for line in document.splitlines()]


def page_quotes(document):
    """The messages quoted in the first column of the section "In the web page"."""
    section = re.search(r"^## In the web page\n(.*?)(?=^## |\Z)", document, re.S | re.M)
    rows = re.findall(r"^\| (`[^|]+`) \|", section.group(1), re.M) if section else []
    return [quote for row in rows for quote in re.findall(r"`([^`]+)`", row)]


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
    return [line.strip() for line in match.group(1).splitlines()]


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
    explained = (source_dir / "doc" / "messages.md").read_text(encoding="utf-8")
    messages = program_messages(source_dir)
    if len(messages) < 30:
        sys.exit(f"only {len(messages)} messages found in src/: is the scan broken?")

    problems = []
    documents = [("doc/messages.md", quoted_messages(explained), messages)]
    if shutil.which("groff"):
        for_manual = {p: o for p, o in messages.items() if o != EXPLORER_ONLY}
        documents.append(("manual page, DIAGNOSTICS", diagnostics_of(man_page), for_manual))
    else:
        print("SKIP: groff is not installed; the manual page was not checked")
    for name, quotes, wanted in documents:
        for pattern, origin in wanted.items():
            if not any(re.fullmatch(pattern, quote) for quote in quotes):
                problems.append(f"{name} lacks a whole /{pattern}/ (a message of {origin})")
    for quote in page_quotes(explained):
        if not any(re.fullmatch(pattern, quote) for pattern in messages):
            problems.append(f"doc/messages.md, In the web page: `{quote}` is no message of the program")
    for line in badly_escaped_messages(man_page):
        problems.append(f"manual page: write - as \\- and ' as \\(aq in messages: {line}")

    for problem in problems:
        print(problem, file=sys.stderr)
    if problems:
        sys.exit(1)
    print(f"{len(messages)} messages found whole in doc/messages.md and the manual page")


if __name__ == "__main__":
    main()
