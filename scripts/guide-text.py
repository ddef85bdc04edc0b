#!/usr/bin/env python3
"""guide-text.py GUIDE.md OUT.txt: a Markdown guide as plain text that
Notepad shows well: CR LF line ends, lines of at most 78 characters,
headings underlined, tables as indented entries, no Markdown marks."""
import re
import sys
import textwrap

WIDTH = 78


def inline(text):
    text = re.sub(r"\[([^\]]+)\]\([^)]+\)", r"\1", text)
    text = text.replace("**", "").replace("`", "")
    return re.sub(r"(?<![\w*])\*([^*\s][^*]*)\*(?![\w*])", r"\1", text)


def wrap(text, first="", rest=""):
    return textwrap.wrap(inline(text), WIDTH, initial_indent=first, subsequent_indent=rest,
                         break_on_hyphens=False, break_long_words=False) or [first.rstrip()]


def cells(row):
    return [c.strip() for c in row.strip().strip("|").split("|")]


def convert(lines):
    out = []
    i = 0
    while i < len(lines):
        line = lines[i]
        if not line.strip():
            if out and out[-1] != "":
                out.append("")
            i += 1
        elif line.startswith("#"):
            level = len(line) - len(line.lstrip("#"))
            title = inline(line.lstrip("#").strip())
            if out and out[-1] != "":
                out.append("")
            out += [title, ("=" if level == 1 else "-") * len(title)]
            i += 1
        elif line.startswith("    "):  # an example to type: kept as it is
            while i < len(lines) and (lines[i].startswith("    ") or not lines[i].strip()):
                out.append(lines[i].rstrip())
                i += 1
        elif line.startswith("|"):
            rows = []
            while i < len(lines) and lines[i].startswith("|"):
                rows.append(cells(lines[i]))
                i += 1
            for row in rows[2:]:  # past the header and its rule
                out += wrap(row[0], "  ", "  ")
                for cell in row[1:]:
                    out += wrap(cell, "      ", "      ")
        else:
            item = re.match(r"^(\s*)(- |\d+\. )", line)
            text = line.strip()
            i += 1
            while i < len(lines) and lines[i].strip() and not lines[i].startswith(("#", "|")) \
                    and not re.match(r"^\s*(- |\d+\. )", lines[i]) and not lines[i].startswith("    " * 2):
                text += " " + lines[i].strip()
                i += 1
            if item:
                marker = item.group(2)
                body = text[len(marker):]
                out += wrap(body, "  " + marker, "  " + " " * len(marker))
            else:
                out += wrap(text)
    while out and out[-1] == "":
        out.pop()
    return out


def main():
    with open(sys.argv[1], encoding="utf-8") as f:
        lines = f.read().splitlines()
    with open(sys.argv[2], "w", encoding="utf-8", newline="\r\n") as f:
        f.write("\n".join(convert(lines)) + "\n")


if __name__ == "__main__":
    main()
