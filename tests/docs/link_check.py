#!/usr/bin/env python3
"""Checks the links of the project's Markdown documents.

    link_check.py ROOT [FILE.md ...]

Every relative link and image in the files (default: ROOT/README.md and ROOT/docs/*.md) must
point at a file or folder that exists inside ROOT; a link with an #anchor into a Markdown file
must name one of its headings, with the anchor made as GitHub makes it (lower case, punctuation
dropped, blanks as hyphens, -1, -2, ... for repeated headings). URLs with a scheme (https:,
mailto:, ...) are not checked, nor anything in code spans or code blocks. Prints one line per
broken link and exits 1 when there is one, 0 otherwise.
"""
import os
import re
import sys
import unicodedata
import urllib.parse

FENCE = re.compile(r"^ {0,3}(`{3,}|~{3,})")
ATX_HEADING = re.compile(r"^ {0,3}(#{1,6})(?:[ \t]+(.*?))?(?:[ \t]+#+)?[ \t]*$")
SETEXT_UNDERLINE = re.compile(r"^ {0,3}(=+|-+)[ \t]*$")
LIST_ITEM = re.compile(r"^ {0,3}(?:[-+*]|\d{1,9}[.)])(?:[ \t]|$)")
REFERENCE = re.compile(r"^ {0,3}\[[^\]]+\]:[ \t]*(<[^>]*>|\S+)")
HTML_TARGET = re.compile(r"<(?:a|img)\b[^>]*?\b(?:href|src)\s*=\s*[\"']([^\"']*)[\"']", re.I)
HTML_ANCHOR = re.compile(r"<a\b[^>]*?\b(?:id|name)\s*=\s*[\"']([^\"']*)[\"']", re.I)
CODE_SPAN = re.compile(r"(`+)(.+?)(?<!`)\1(?!`)", re.S)
SCHEME = re.compile(r"^[A-Za-z][A-Za-z0-9+.-]*:")
LINE_ANCHOR = re.compile(r"^L\d+(?:-L\d+)?$")


def read(path):
    with open(path, encoding="utf-8") as file:
        return file.read()


def prose_lines(text):
    """(line number, line) of the lines outside code blocks; code spans are blanked out."""
    lines = text.split("\n")
    fence = None
    in_list = False
    previous_blank = True
    previous_code = False
    kept = []
    for number, line in enumerate(lines, 1):
        if fence:
            if re.match(r"^ {0,3}" + re.escape(fence[0]) + "{" + str(len(fence)) + r",}[ \t]*$", line):
                fence = None
            continue
        opening = FENCE.match(line)
        if opening:
            fence = opening.group(1)
            continue
        blank = not line.strip()
        indented = len(line) - len(line.lstrip(" ")) >= 4 or line.startswith("\t")
        if not blank and indented and not in_list and (previous_blank or previous_code):
            previous_code, previous_blank = True, False
            continue
        previous_code = False
        if LIST_ITEM.match(line):
            in_list = True
        elif not blank and not indented and previous_blank:
            in_list = False
        previous_blank = blank
        kept.append((number, line))
    return kept


def without_code_spans(line):
    return CODE_SPAN.sub(lambda match: " " * len(match.group(0)), line)


def heading_text(raw):
    """The text GitHub shows for a heading's Markdown."""
    text = CODE_SPAN.sub(lambda match: match.group(2).strip(), raw)
    text = re.sub(r"!?\[([^\]]*)\]\([^)]*\)", r"\1", text)
    text = re.sub(r"<[^>]+>", "", text)
    text = re.sub(r"(\*+|(?<!\w)_+|_+(?!\w))", "", text)
    return text.strip()


def slug(text):
    kept = []
    for char in text.lower():
        category = unicodedata.category(char)
        if char in " -" or category[0] in "LM" or category in ("Nd", "Nl", "Pc"):
            kept.append(char)
    return "".join(kept).replace(" ", "-")


def anchors_of(text):
    """The anchors a Markdown file's headings (and <a id=...> tags) give, as GitHub makes them."""
    anchors = set()
    seen = {}
    previous = None
    for number, line in prose_lines(text):
        heading = None
        atx = ATX_HEADING.match(line)
        underline = SETEXT_UNDERLINE.match(line)
        if atx:
            heading = atx.group(2) or ""
        elif (underline and previous and previous[0] == number - 1 and previous[1].strip()
              and not LIST_ITEM.match(previous[1]) and not ATX_HEADING.match(previous[1])):
            heading = previous[1].strip()
        if heading is not None:
            base = slug(heading_text(heading))
            count = seen.get(base, 0)
            seen[base] = count + 1
            anchors.add(base if count == 0 else f"{base}-{count}")
        for match in HTML_ANCHOR.finditer(line):
            anchors.add(match.group(1))
        previous = (number, line)
    return anchors


def link_targets(line):
    """The destinations of the inline links and images, reference definitions and HTML links."""
    targets = []
    plain = without_code_spans(line)
    at = plain.find("](")
    while at >= 0:
        rest = plain[at + 2:].lstrip()
        if rest.startswith("<"):
            end = rest.find(">")
            if end > 0:
                targets.append(rest[1:end])
        else:
            depth, end = 0, 0
            while end < len(rest) and not rest[end].isspace():
                if rest[end] == "(":
                    depth += 1
                elif rest[end] == ")":
                    if depth == 0:
                        break
                    depth -= 1
                end += 1
            targets.append(rest[:end])
        at = plain.find("](", at + 2)
    reference = REFERENCE.match(plain)
    if reference:
        targets.append(reference.group(1).strip("<>"))
    targets.extend(match.group(1) for match in HTML_TARGET.finditer(plain))
    return targets


def check_file(root, path, anchor_cache):
    problems = []
    text = read(path)
    shown = os.path.relpath(path, root)
    for number, line in prose_lines(text):
        for target in link_targets(line):
            problem = check_target(root, path, target, anchor_cache)
            if problem:
                problems.append(f"{shown}:{number}: ({target}) {problem}")
    return problems


def check_target(root, path, target, anchor_cache):
    if not target:
        return "empty link"
    if SCHEME.match(target) or target.startswith("//"):
        return None
    file_part, _, anchor = target.partition("#")
    file_part = urllib.parse.unquote(file_part)
    anchor = urllib.parse.unquote(anchor)
    if file_part:
        base = root if file_part.startswith("/") else os.path.dirname(path)
        resolved = os.path.normpath(os.path.join(base, file_part.lstrip("/")))
    else:
        resolved = path
    if os.path.commonpath([os.path.realpath(root), os.path.realpath(resolved)]) != os.path.realpath(root):
        return "points outside the repository"
    if not os.path.exists(resolved):
        return f"no such file: {os.path.relpath(resolved, root)}"
    if not anchor and "#" not in target:
        return None
    if resolved.endswith(".md") and os.path.isfile(resolved):
        if resolved not in anchor_cache:
            anchor_cache[resolved] = anchors_of(read(resolved))
        if anchor not in anchor_cache[resolved]:
            return f"no heading for #{anchor} in {os.path.relpath(resolved, root)}"
        return None
    if os.path.isfile(resolved) and LINE_ANCHOR.match(anchor):
        return None
    return f"#{anchor} cannot be checked in {os.path.relpath(resolved, root)}"


def main(arguments):
    if not arguments:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    root = os.path.abspath(arguments[0])
    files = [os.path.abspath(name) for name in arguments[1:]]
    if not files:
        files = [os.path.join(root, "README.md")]
        docs = os.path.join(root, "docs")
        if os.path.isdir(docs):
            files += sorted(os.path.join(docs, name) for name in os.listdir(docs) if name.endswith(".md"))
    anchor_cache = {}
    problems = []
    count = 0
    for path in files:
        if not os.path.isfile(path):
            problems.append(f"{os.path.relpath(path, root)}: missing")
            continue
        count += sum(len(link_targets(line)) for _, line in prose_lines(read(path)))
        problems += check_file(root, path, anchor_cache)
    for problem in problems:
        print(problem)
    names = ", ".join(os.path.relpath(path, root) for path in files)
    print(f"{count} links in {names}: {len(problems)} broken")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
