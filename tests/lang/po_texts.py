#!/usr/bin/python3
"""Writes what a language pack compiled from a PO file must hold, read straight from the PO file
with polib, for the C++ test that reads brvlang's packs with the program's own reader:

    header<TAB>tag|native|comment<TAB>value
    text<TAB>key<TAB>text

in UTF-8, with backslash, tab, line feed and carriage return escaped as \\\\, \\t, \\n and \\r. A text is expected for
every entry that is translated (not fuzzy, msgstr not empty, or flagged empty-translation)."""

import sys

import polib


def escape(text):
    return text.replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n").replace("\r", "\\r")


def main(po_path, out_path):
    po = polib.pofile(po_path)
    lines = [
        ("header", "tag", po.metadata.get("Language", "").replace("_", "-")),
        ("header", "native", po.metadata.get("X-Native-Name", "")),
        ("header", "comment", po.metadata.get("X-Pack-Comment", "")),
    ]
    for entry in po:
        if entry.obsolete or entry.fuzzy:
            continue
        if entry.msgstr or "empty-translation" in entry.flags:
            lines.append(("text", entry.msgctxt, entry.msgstr))
    with open(out_path, "w", encoding="utf-8", newline="\n") as out:
        for row in lines:
            out.write("\t".join(escape(field) for field in row) + "\n")


if __name__ == "__main__":
    main(*sys.argv[1:])
