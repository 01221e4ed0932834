#!/usr/bin/env python3
"""Checks that every relative link in the README and the docs pages leads somewhere: the
file exists, and an #anchor names a heading of the page it points into (or an HTML id
there), with the anchors GitHub gives headings. Links to other sites are not followed,
and nothing in code (fenced blocks, `spans`) counts as a link. Prints one line per broken
link, "<file>:<line>: <link>: <why>", and exits 1 if any.

    check-links.py [FOLDER]   (the checkout by default)"""
import functools
import os
import re
import sys
import urllib.parse

FENCE = re.compile(r"^ {0,3}(`{3,}|~{3,})")
ATX = re.compile(r"^ {0,3}(#{1,6})(?:[ \t]+(.*?))?(?:[ \t]+#+)?[ \t]*$")
SETEXT = re.compile(r"^ {0,3}(=+|-+)[ \t]*$")
HTML_ID = re.compile(r"<[a-zA-Z][^>]*?\s(?:id|name)\s*=\s*[\"']([^\"']+)[\"']")
# [text](target "title"), ![alt](target); the text may hold one level of brackets and
# run over lines, the target may hold one level of parentheses or sit in <...>.
INLINE = re.compile(r"!?\[((?:[^\[\]]|\[[^\[\]]*\])*)\]\(\s*(<[^<>\n]*>|(?:[^\s()]|\([^\s()]*\))*)"
                    r"(?:\s+(?:\"[^\"]*\"|'[^']*'|\([^()]*\)))?\s*\)")
FULL_REFERENCE = re.compile(r"\[((?:[^\[\]]|\[[^\[\]]*\])+)\]\[([^\[\]]+)\]")
DEFINITION = re.compile(r"^ {0,3}\[([^\[\]]+)\]:[ \t]*(<[^<>\n]*>|\S+)", re.M)
SCHEME = re.compile(r"^[a-zA-Z][a-zA-Z0-9+.-]*:")


def without_fences(text):
    """The text with fenced code blocks blanked out, line ends kept, so that offsets
    still give line numbers."""
    lines, fence = [], None
    for line in text.split("\n"):
        opening = FENCE.match(line)
        if fence is None and opening:
            fence = opening.group(1)
            lines.append("")
        elif fence is not None:
            closing = FENCE.match(line)
            if closing and closing.group(1)[0] == fence[0] and len(closing.group(1)) >= len(fence) \
                    and not line.strip().lstrip(fence[0]):
                fence = None
            lines.append("")
        else:
            lines.append(line)
    return "\n".join(lines)


def without_code(text):
    """The text with fenced code blocks and code spans blanked out, line ends kept."""
    text = without_fences(text)
    # A run of n backticks opens a span that the next run of exactly n closes, within the
    # paragraph; an unclosed run is plain text.
    out, at = [], 0
    for run in re.finditer(r"`+", text):
        if run.start() < at:
            continue
        paragraph_end = re.compile(r"\n[ \t]*\n").search(text, run.end())
        limit = paragraph_end.start() if paragraph_end else len(text)
        closing = re.compile(r"(?<!`)" + "`" * len(run.group()) + r"(?!`)").search(text, run.end(), limit)
        if closing:
            out.append(text[at:run.start()])
            out.append(re.sub(r"[^\n]", " ", text[run.start():closing.end()]))
            at = closing.end()
    out.append(text[at:])
    return "".join(out)


def slug(heading):
    """GitHub's anchor for a heading: its rendered text in lower case, with punctuation
    dropped and each blank a hyphen."""
    text = re.sub(r"!?\[((?:[^\[\]]|\[[^\[\]]*\])*)\]\([^)]*\)", r"\1", heading)
    text = re.sub(r"<[^>]+>", "", text).replace("`", "").replace("*", "")
    return re.sub(r"[^\w\- ]", "", text.strip().lower()).replace(" ", "-")


@functools.lru_cache(maxsize=None)
def anchors(path):
    """Every anchor a page offers: its headings' (numbered -1, -2 ... when repeated, as
    GitHub does) and its HTML ids."""
    with open(path, encoding="utf-8") as page:
        text = page.read()
    text = without_fences(text)
    found, seen, previous = set(), {}, ""
    for line in text.split("\n"):
        atx, setext = ATX.match(line), SETEXT.match(line)
        heading = None
        if atx:
            heading = atx.group(2) or ""
        elif setext and previous.strip():
            heading = previous
        if heading is not None:
            base = slug(heading)
            found.add(base if base not in seen else f"{base}-{seen[base]}")
            seen[base] = seen.get(base, 0) + 1
        previous = "" if atx or setext else line
    found.update(HTML_ID.findall(text))
    return found


def targets(text):
    """(offset, target) of every link the page makes, and the labels it defines."""
    text = without_code(text)
    definitions = {label.lower(): target for label, target in DEFINITION.findall(text)}
    found = [(link.start(), link.group(2)) for link in INLINE.finditer(text)]
    found += [(definition.start(), definition.group(2)) for definition in DEFINITION.finditer(text)]
    for reference in FULL_REFERENCE.finditer(text):
        if reference.group(2).lower() not in definitions:
            found.append((reference.start(), f"[{reference.group(2)}]"))
    return sorted(found), text


def broken(page, target, root):
    """Why a link from a page does not resolve, or None when it does."""
    if target.startswith("[") and target.endswith("]"):
        return "no such link label"
    target = target[1:-1] if target.startswith("<") and target.endswith(">") else target
    if SCHEME.match(target) or target.startswith("//"):
        return None
    path, _, fragment = target.partition("#")
    path, fragment = urllib.parse.unquote(path.partition("?")[0]), urllib.parse.unquote(fragment)
    if path.startswith("/"):
        resolved = os.path.join(root, path.lstrip("/"))
    else:
        resolved = os.path.normpath(os.path.join(os.path.dirname(page), path)) if path else page
    if not os.path.exists(resolved):
        return "no such file"
    if not fragment:
        return None
    if not resolved.endswith(".md"):
        return None if re.fullmatch(r"L\d+(-L\d+)?", fragment) else "an anchor into a page that is not Markdown"
    if fragment not in anchors(resolved):
        return "no such heading in " + os.path.relpath(resolved, root)
    return None


def pages(root):
    found = [os.path.join(root, "README.md")]
    for folder, _, names in os.walk(os.path.join(root, "docs")):
        found += [os.path.join(folder, name) for name in names if name.endswith(".md")]
    return sorted(page for page in found if os.path.isfile(page))


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), ".."))
    problems, count = [], 0
    checked = pages(root)
    for page in checked:
        with open(page, encoding="utf-8") as source:
            links, text = targets(source.read())
        for offset, target in links:
            count += 1
            why = broken(page, target, root)
            if why:
                line = text.count("\n", 0, offset) + 1
                problems.append(f"{os.path.relpath(page, root)}:{line}: {target}: {why}")
    for problem in problems:
        print(problem)
    if problems:
        print(f"check-links: {len(problems)} of {count} links broken", file=sys.stderr)
        return 1
    print(f"check-links: {count} links in {len(checked)} pages resolve")
    return 0


if __name__ == "__main__":
    sys.exit(main())
