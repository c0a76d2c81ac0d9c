#!/usr/bin/python3
"""Writes a PO file with the entries that stretch a pack reader: texts outside the Basic
Multilingual Plane, line breaks, tabs and backslashes, an intentionally empty text, untranslated
and fuzzy entries (which must stay out of the program's view), and enough entries to make the
resource file reader's hash table grow more than once."""

import sys

import polib

MANY = 2000


def main(out_path):
    po = polib.POFile()
    po.metadata = {"Content-Type": "text/plain; charset=UTF-8", "Language": "x-edge_AT",
                   "X-Native-Name": "Ränder \U0001D11E", "X-Pack-Comment": "tab\there, line\nbreak"}
    rows = [
        ("Edge.Astral", "Clef", "\U0001D11E and \u00e9\u0301 and \u65e5\u672c"),
        ("Edge.Lines", "a\nb", "\n leading, \\ backslash, \t tab,\r\ntrailing\n"),
        ("Edge.Placeholders", "%A% %B%", "%B% %A% %B%"),
        ("Edge.Untranslated", "Stays English", ""),
        ("Edge.Long", "Long", "x" * 5000),
        ("Edge Key.With Blank", "Blank", "ok"),
    ]
    for key, english, text in rows:
        po.append(polib.POEntry(msgctxt=key, msgid=english, msgstr=text))
    po.append(polib.POEntry(msgctxt="Edge.Empty", msgid="Empty", msgstr="", flags=["empty-translation"]))
    po.append(polib.POEntry(msgctxt="Edge.Fuzzy", msgid="Fuzzy", msgstr="Unsicher", flags=["fuzzy"]))
    for n in range(MANY):
        po.append(polib.POEntry(msgctxt=f"Many.K{n:04}", msgid=f"Text {n}", msgstr=f"Text {n} \u00fc"))
    po.save(out_path)


if __name__ == "__main__":
    main(*sys.argv[1:])
