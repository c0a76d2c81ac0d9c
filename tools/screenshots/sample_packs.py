#!/usr/bin/env python3
"""Writes a few small language packs (resource files) into a program folder's lang\\ folder,
so that the language dialog has something to list in the pictures.
Usage: sample_packs.py LANG_FOLDER"""
import os
import struct
import sys


def string(text):
    units = text.encode("utf-16-le") + b"\0\0"
    return struct.pack("<I", len(units) // 2) + units


def chunk(kind, data):
    return kind + struct.pack("<q", len(data)) + data


def pack(tag, native, comment, texts):
    table = struct.pack("<I", len(texts))
    for key, text in texts.items():
        table += struct.pack("<I", 0) + string(key) + string(text) + string("") + string("")
    root = chunk(b"lang", string(tag) + string(native) + string(""))
    root += chunk(b"apid", string("OrdaviaStudio") + string("sample"))
    root += chunk(b"cmnt", string(comment))
    root += chunk(b"STMP", chunk(b"data", table))
    return b"URESFILE" + struct.pack("<q", len(root)) + root


PACKS = {
    "english": ("en-US", "English", "Built-in texts", {}),
    "deutsch": ("de-DE", "Deutsch", "Vollst\u00e4ndige \u00dcbersetzung", {
        "Menu.Options.Languages": "Sprachen...",
        "Menu.Internet": "Internet",
    }),
    "francais": ("fr-FR", "Fran\u00e7ais", "Traduction compl\u00e8te", {}),
    "norsk": ("nb-NO", "Norsk bokm\u00e5l", "", {}),
    "suomi": ("fi", "Suomi", "Osittainen k\u00e4\u00e4nn\u00f6s", {}),
}


def main():
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    for name, (tag, native, comment, texts) in PACKS.items():
        with open(os.path.join(folder, "OrdaviaStudio" + name + ".brvLang"), "wb") as f:
            f.write(pack(tag, native, comment, texts))


if __name__ == "__main__":
    main()
