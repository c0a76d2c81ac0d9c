#!/usr/bin/python3
"""brvlang: packs from PO files and back, the translation check and the catalogue update.

The foreign packs below are written by this file's own small writer, byte by byte from the
layout, so that the reader is not tested against its own writer."""

import contextlib
import io
import os
import struct
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.realpath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tools", "lang"))

import polib  # noqa: E402

import brvlang  # noqa: E402
import packs  # noqa: E402


# --- fixture writers --------------------------------------------------------------------------

def u32(value):
    return struct.pack("<I", value)


def flat_string(text, wide, codepage="cp1252", terminated=True):
    raw = text.encode("utf-16-le") if wide else text.encode(codepage)
    if terminated:
        raw += b"\0\0" if wide else b"\0"
    return u32(len(raw)) + raw


def flat_pack(signature, header, entries, version=1, layout=1, header_tail=b"", entry_tail=b""):
    """entries: (key, text, used)."""
    wide = signature == b"LANGPU16"
    layout = 0 if signature == b"LANGPACK" else layout
    body = b"".join(flat_string(s, wide) for s in header) + header_tail
    out = signature + (b"" if signature == b"LANGPACK" else u32(version) + u32(layout))
    out += u32(len(body)) + body + u32(len(entries))
    for key, text, used in entries:
        entry = flat_string(key, wide) + flat_string(text, wide) + flat_string("", wide) + flat_string("", wide)
        if layout >= 1:
            entry += u32(1 if used else 0) + entry_tail
            out += u32(len(entry))
        out += entry
    return out


def res_string(text):
    if text is None:
        return u32(0)
    raw = text.encode("utf-16-le") + b"\0\0"
    return u32(len(raw) // 2) + raw


def chunk(cid, body, size=None):
    return cid + struct.pack("<q", len(body) if size is None else size) + body


def res_table(entries, count=None):
    """entries: (key, text or None)."""
    rows = u32(len(entries) if count is None else count)
    for key, text in entries:
        rows += u32(7) + res_string(key) + res_string(text) + res_string(None) + res_string(None)
    return chunk(b"data", rows)


def res_file(*chunks):
    root = b"".join(chunks)
    return b"URESFILE" + struct.pack("<q", len(root)) + root


def res_lang(tag, name):
    return chunk(b"lang", res_string(tag) + res_string(name) + res_string(None))


def write_po(path, entries, language="de", native="Deutsch", comment=None, obsolete=()):
    """entries: (key, english, translation[, flags])."""
    po = polib.POFile()
    po.metadata = {"Content-Type": "text/plain; charset=UTF-8", "Language": language, "X-Native-Name": native}
    if comment:
        po.metadata["X-Pack-Comment"] = comment
    for row in entries:
        key, english, translation = row[:3]
        entry = polib.POEntry(msgctxt=key, msgid=english, msgstr=translation)
        entry.flags = list(row[3]) if len(row) > 3 else []
        po.append(entry)
    for key, english, translation in obsolete:
        po.append(polib.POEntry(msgctxt=key, msgid=english, msgstr=translation, obsolete=True))
    po.save(path)


def run(*argv):
    out, err = io.StringIO(), io.StringIO()
    with contextlib.redirect_stdout(out), contextlib.redirect_stderr(err):
        code = brvlang.main([str(a) for a in argv])
    return code, out.getvalue() + err.getvalue()


class Folder(unittest.TestCase):
    def setUp(self):
        self._dir = tempfile.TemporaryDirectory()
        self.dir = self._dir.name

    def tearDown(self):
        self._dir.cleanup()

    def path(self, name):
        return os.path.join(self.dir, name)

    def read(self, name):
        with open(self.path(name), "rb") as f:
            return f.read()

    def write(self, name, data):
        with open(self.path(name), "wb") as f:
            f.write(data)


# --- round trips ------------------------------------------------------------------------------

TRANSLATION = [
    ("Menu.Internet", "Internet", "Internet"),
    ("Menu.Internet.Homepage", "%COMPANY% Homepage", "%COMPANY%-Homepage"),
    ("ProblemReport.TaskDesc.Variant", "Please fill out the form.\n If possible, describe it.",
     "Bitte füllen Sie das Formular aus.\n Beschreiben Sie es möglichst."),
    ("Menu.Options.Languages", "Languages...", ""),  # untranslated
    ("Menu.Options.Channels", "Channels...", "Kanäle...", ["fuzzy"]),
    ("Global.Blank", "Blank", "", ["empty-translation"]),
    ("Unicode.Outside", "Clef", "\U0001D11E \u2603"),
]


class RoundTripTests(Folder):
    def test_pack_to_po_to_pack_keeps_everything(self):
        write_po(self.path("de.po"), TRANSLATION, comment="Deutsche Oberfläche")
        for fmt in packs.WRITABLE_FORMATS:
            with self.subTest(format=fmt):
                self.assertEqual(run("compile", self.path("de.po"), "-o", self.path("a.pack"), "--format", fmt)[0], 0)
                self.assertEqual(run("decompile", self.path("a.pack"), "-o", self.path("a.po"))[0], 0)
                self.assertEqual(run("compile", self.path("a.po"), "-o", self.path("b.pack"), "--format", fmt)[0], 0)
                self.assertEqual(self.read("a.pack"), self.read("b.pack"))

                pack = packs.read_pack(self.read("b.pack"))
                self.assertEqual(pack.format, fmt)
                self.assertEqual(pack.tag, "de" if fmt == "URESFILE" else "")  # flat packs carry no tag
                self.assertEqual((pack.native_name, pack.comment), ("Deutsch", "Deutsche Oberfläche"))
                self.assertEqual(pack.texts(), {
                    "Menu.Internet": "Internet",
                    "Menu.Internet.Homepage": "%COMPANY%-Homepage",
                    "ProblemReport.TaskDesc.Variant": TRANSLATION[2][2],
                    "Global.Blank": "",
                    "Unicode.Outside": "\U0001D11E \u2603",
                })
                # Untranslated and fuzzy entries travel with their English text, so the PO file
                # made from the pack lists them again.
                po = polib.pofile(self.path("a.po"))
                self.assertEqual([(e.msgctxt, e.msgid) for e in po], [r[:2] for r in TRANSLATION])
                self.assertEqual(po.metadata["X-Pack-Comment"], "Deutsche Oberfläche")

    def test_fuzzy_translations_only_on_request(self):
        write_po(self.path("de.po"), TRANSLATION)
        run("compile", self.path("de.po"), "-o", self.path("a.pack"), "--use-fuzzy")
        self.assertEqual(packs.read_pack(self.read("a.pack")).texts()["Menu.Options.Channels"], "Kanäle...")

    def test_region_tags_from_translation_tools_use_a_hyphen(self):
        write_po(self.path("pt.po"), TRANSLATION[:1], language="pt_BR")
        run("compile", self.path("pt.po"), "-o", self.path("a.pack"))
        self.assertEqual(packs.read_pack(self.read("a.pack")).tag, "pt-BR")


# Packs as other writers make them: every signature, the skipped and repeated parts.
FOREIGN = [
    ("LANGPACK: no version fields, layout 0, ANSI text",
     flat_pack(b"LANGPACK", ["first", "second", "Deutsch", "alt"],
               [("A.Size", "Größe", True), ("B", "%APPNAME% b", True)]),
     dict(tag="", native_name="Deutsch", comment="alt", description1="first", description2="second"),
     {"A.Size": "Größe", "B": "%APPNAME% b"}),
    ("LANGPCK2 layout 1: unused entry, longer header and entries",
     flat_pack(b"LANGPCK2", ["", "", "Français", ""], [("A", "à %FILE%", True), ("B", "unused", False)],
               header_tail=b"\xff" * 5, entry_tail=b"\x01\x02\x03"),
     dict(native_name="Français"), {"A": "à %FILE%"}),
    ("LANGPU16: a repeated key, the later text counts",
     flat_pack(b"LANGPU16", ["", "", "Ελληνικά", "c"], [("A", "α", True), ("A", "β %APP_NAME%", True)], version=0),
     dict(native_name="Ελληνικά", comment="c"), {"A": "β %APP_NAME%"}),
    ("URESFILE: resource-set id first, two tables, an absent and an empty text",
     res_file(chunk(b"RSID", res_string("set")), res_lang("de-AT", "Österreichisch"),
              chunk(b"cmnt", res_string("Kommentar")), chunk(b"apid", res_string("x") + res_string("y")),
              chunk(b"STMP", res_table([("Old", "alt")])),
              chunk(b"STMP", res_lang("de-AT", "") + chunk(b"RSID", res_string("set"))
                    + res_table([("A", "a %APPNAME%"), ("Absent", None), ("Empty", "")]))),
     dict(tag="de-AT", native_name="Österreichisch", comment="Kommentar", description1="x", description2="y"),
     {"A": "a %APPNAME%", "Empty": ""}),
    ("URESFILE whose first chunk is not 'lang': no tag and no name",
     res_file(chunk(b"apid", res_string("x") + res_string(None)), res_lang("de", "Deutsch"),
              chunk(b"STMP", res_table([("A", "a %DLLNAME%")]))),
     dict(tag="", native_name="", description1="x"), {"A": "a %DLLNAME%"}),
]


def po_texts(path):
    return [(e.msgctxt, e.msgid, e.msgstr, e.flags) for e in polib.pofile(path)]


class ForeignPackTests(Folder):
    def test_every_signature_decompiles_to_what_the_program_reads(self):
        # Packs of other writers keep no English texts: their keys stand in, and a placeholder of
        # a translation has nothing to be checked against.
        for name, data, header, texts in FOREIGN:
            with self.subTest(name):
                self.write("in.brvLang", data)
                code, output = run("decompile", self.path("in.brvLang"), "-o", self.path("out.po"))
                self.assertEqual(code, 0, output)
                pack = packs.read_pack(data)
                self.assertEqual(pack.texts(), texts)
                for field, value in header.items():
                    self.assertEqual(getattr(pack, field), value, field)
                # ... and the PO file compiles into a pack with the same texts and header, which
                # decompiles into the same PO texts.
                code, output = run("compile", self.path("out.po"), "-o", self.path("again.brvLang"))
                self.assertEqual(code, 0, output)
                self.assertIn("cannot be checked", output)
                again = packs.read_pack(self.read("again.brvLang"))
                self.assertEqual(again.texts(), texts)
                for field in ("tag", "native_name", "comment", "description1", "description2"):
                    self.assertEqual(getattr(again, field), getattr(pack, field), field)
                self.assertEqual(run("decompile", self.path("again.brvLang"), "-o", self.path("again.po"))[0], 0)
                self.assertEqual(po_texts(self.path("again.po")), po_texts(self.path("out.po")))

    def test_source_texts_come_from_the_template_when_the_pack_lacks_them(self):
        self.write("in.brvLang", FOREIGN[0][1])
        write_po(self.path("t.pot"), [("A.Size", "Size", "")])
        code, output = run("decompile", self.path("in.brvLang"), "-o", self.path("out.po"), "--template", self.path("t.pot"))
        self.assertEqual(code, 0)
        self.assertIn("1 entries have no English text", output)  # "B" is not in the template
        po = polib.pofile(self.path("out.po"))
        self.assertEqual({e.msgctxt: e.msgid for e in po}, {"A.Size": "Size", "B": "B"})

    def test_a_string_without_terminator_reads_as_empty_with_a_warning(self):
        data = b"LANGPACK" + u32(16) + bytes(16) + u32(1) + flat_string("K", False) + flat_string("no end", False, terminated=False) \
            + flat_string("", False) + flat_string("", False)
        self.write("in.brvLang", data)
        code, output = run("decompile", self.path("in.brvLang"), "-o", self.path("out.po"))
        self.assertEqual(code, 0)
        self.assertIn("no terminating zero", output)
        self.assertEqual(packs.read_pack(data).texts(), {"K": ""})


GOOD = res_file(res_lang("de", "Deutsch"), chunk(b"STMP", res_table([("A", "a"), ("B", "b")])))
GOOD_FLAT = flat_pack(b"LANGPU16", ["", "", "Deutsch", ""], [("A", "a", True)])

BAD = [
    ("empty file", b"", "too short"),
    ("cut inside the signature", b"URESF", "too short"),
    ("unknown signature", b"LANGPAK3" + bytes(16), "not a language pack"),
    ("flat format version 2", flat_pack(b"LANGPCK2", ["", "", "", ""], [], version=2), "format version 2"),
    ("resource file cut short", GOOD[:-9], "truncated"),
    ("resource file header only", GOOD[:12], "truncated"),
    ("table chunk larger than its parent",
     res_file(chunk(b"STMP", chunk(b"data", u32(0), size=4000))), "chunk 'data'"),
    ("negative chunk size", res_file(chunk(b"lang", b"", size=-5)), "declares -5 bytes"),
    ("entry count beyond the table", res_file(chunk(b"STMP", res_table([("A", "a")], count=100000))), "entry 2 of 100000"),
    ("string count beyond the table", res_file(chunk(b"STMP", chunk(b"data", u32(1) + u32(0) + u32(0x7fffffff)))),
     "truncated"),
    ("flat pack cut inside an entry", GOOD_FLAT[:-6], "truncated"),
    ("flat header longer than the file", b"LANGPU16" + u32(1) + u32(1) + u32(1000) + bytes(8), "header body"),
    ("flat string longer than its entry",
     b"LANGPCK2" + u32(1) + u32(1) + u32(16) + bytes(16) + u32(1) + u32(8) + u32(50) + bytes(4), "entry 1 of 1"),
]


class BadPackTests(Folder):
    def test_damaged_files_are_rejected_with_the_place(self):
        for name, data, message in BAD:
            with self.subTest(name):
                with self.assertRaises(packs.PackError) as caught:
                    packs.read_pack(data)
                self.assertIn(message, str(caught.exception))
                self.write("bad.brvLang", data)
                code, output = run("decompile", self.path("bad.brvLang"), "-o", self.path("out.po"))
                self.assertEqual(code, 2)
                self.assertIn("bad.brvLang", output)
                self.assertFalse(os.path.exists(self.path("out.po")))

    def test_missing_files_are_errors_not_empty_catalogues(self):
        self.assertEqual(run("compile", self.path("none.po"), "-o", self.path("x"))[0], 2)
        self.assertEqual(run("decompile", self.path("none.brvLang"), "-o", self.path("x"))[0], 2)
        self.assertFalse(os.path.exists(self.path("x")))


# --- checks -----------------------------------------------------------------------------------

TEMPLATE = [
    ("Menu.Internet.Homepage", "%COMPANY% Homepage", ""),
    ("Menu.Brenvalo.Upgrade", "Upgrade to %UPGRADENAME% for %APP_NAME%", ""),
    ("Menu.Internet", "Internet", ""),
]

CHECKS = [
    # (case, PO entries, exit code, what the report must say)
    ("dropped %COMPANY%", [("Menu.Internet.Homepage", "%COMPANY% Homepage", "Homepage")], 1,
     ["Menu.Internet.Homepage: the placeholder %COMPANY% of the English text is missing"]),
    ("placeholders moved and repeated", [("Menu.Brenvalo.Upgrade", "Upgrade to %UPGRADENAME% for %APP_NAME%",
                                          "Für %APP_NAME%: %UPGRADENAME% (%APP_NAME%)")], 0, []),
    ("a placeholder the program never fills", [("Menu.Internet", "Internet", "Internet %COMPANY%")], 1,
     ["the placeholder %COMPANY% is not in the English text"]),
    ("unknown key", [("Menu.Intranet", "Intranet", "Intranet")], 1, ["Menu.Intranet: unknown key"]),
    ("untranslated and missing entries are reported, not errors", [("Menu.Internet", "Internet", "")], 0,
     ["untranslated: Menu.Internet", "untranslated: Menu.Internet.Homepage (not in the file)",
      "0 translated, 0 fuzzy, 3 untranslated"]),
    ("a fuzzy entry is not checked", [("Menu.Internet.Homepage", "%COMPANY% Homepage", "Homepage", ["fuzzy"])], 0,
     ["fuzzy: Menu.Internet.Homepage"]),
    ("the program's current English text counts", [("Menu.Brenvalo.Upgrade", "Upgrade to %UPGRADENAME%",
                                                    "Upgrade auf %UPGRADENAME%")], 1,
     ["the English text changed", "%APP_NAME% of the English text is missing"]),
    ("the same key twice", [("Menu.Internet", "Internet", "A"), ("Menu.Internet", "Internet 2", "B")], 1,
     ["Menu.Internet: the key appears twice"]),
]


class CheckTests(Folder):
    def test_check_table(self):
        write_po(self.path("t.pot"), TEMPLATE)
        for name, entries, code, messages in CHECKS:
            with self.subTest(name):
                write_po(self.path("de.po"), entries)
                got, output = run("check", self.path("de.po"), "--template", self.path("t.pot"))
                self.assertEqual(got, code, output)
                for message in messages:
                    self.assertIn(message, output)

    def test_an_entry_without_a_key(self):
        po = polib.POFile()
        po.append(polib.POEntry(msgid="Internet", msgstr="Internet"))
        po.save(self.path("de.po"))
        code, output = run("check", self.path("de.po"))
        self.assertEqual(code, 1)
        self.assertIn("has no key (msgctxt)", output)

    def test_complete_fails_on_anything_left_to_do(self):
        write_po(self.path("t.pot"), TEMPLATE)
        write_po(self.path("de.po"), [(k, e, e) for k, e, _ in TEMPLATE])
        self.assertEqual(run("check", self.path("de.po"), "--template", self.path("t.pot"), "--complete")[0], 0)
        write_po(self.path("de.po"), [(k, e, e) for k, e, _ in TEMPLATE[:2]])
        self.assertEqual(run("check", self.path("de.po"), "--template", self.path("t.pot"))[0], 0)
        self.assertEqual(run("check", self.path("de.po"), "--template", self.path("t.pot"), "--complete")[0], 1)

    def test_compile_refuses_a_dropped_placeholder_and_writes_nothing(self):
        write_po(self.path("de.po"), [("Menu.Internet.Homepage", "%COMPANY% Homepage", "Startseite")])
        code, output = run("compile", self.path("de.po"), "-o", self.path("de.brvLang"))
        self.assertEqual(code, 1)
        self.assertIn("%COMPANY%", output)
        self.assertFalse(os.path.exists(self.path("de.brvLang")))


class UpdateTests(Folder):
    def test_update_follows_the_catalogue(self):
        write_po(self.path("t.pot"), [("Kept", "Kept", ""), ("Changed", "New text", ""), ("Added", "Added", ""),
                                      ("Back", "Back again", "")])
        write_po(self.path("de.po"), [("Kept", "Kept", "Behalten"), ("Changed", "Old text", "Alter Text"),
                                      ("Gone", "Gone", "Weg")],
                 obsolete=[("Back", "Back again", "Wieder da")])
        self.assertEqual(run("update", self.path("de.po"), "--template", self.path("t.pot"))[0], 0)
        po = polib.pofile(self.path("de.po"))
        live = {e.msgctxt: e for e in po if not e.obsolete}
        self.assertEqual(list(live), ["Kept", "Changed", "Added", "Back"])
        self.assertEqual(live["Kept"].msgstr, "Behalten")
        self.assertEqual((live["Changed"].msgid, live["Changed"].msgstr, live["Changed"].fuzzy,
                          live["Changed"].previous_msgid), ("New text", "Alter Text", True, "Old text"))
        self.assertEqual(live["Added"].msgstr, "")
        self.assertEqual(live["Back"].msgstr, "Wieder da")
        self.assertEqual([(e.msgctxt, e.msgstr) for e in po if e.obsolete], [("Gone", "Weg")])

        # A key that stood in for an English text the file did not know is no changed English
        # text: the catalogue's text takes its place and the translation stays as it was.
        write_po(self.path("d.po"), [("Kept", "Kept", "Behalten"), ("Changed", "Changed", "Geändert")])
        code, output = run("check", self.path("d.po"), "--template", self.path("t.pot"))
        self.assertEqual(code, 0, output)
        self.assertNotIn("English text changed", output)
        self.assertEqual(run("update", self.path("d.po"), "--template", self.path("t.pot"))[0], 0)
        live = {e.msgctxt: e for e in polib.pofile(self.path("d.po")) if not e.obsolete}
        self.assertEqual((live["Changed"].msgid, live["Changed"].msgstr, live["Changed"].fuzzy,
                          live["Changed"].previous_msgid), ("New text", "Geändert", False, None))

        self.assertEqual(run("update", self.path("de.po"), "--template", self.path("t.pot"), "--english")[0], 0)
        po = polib.pofile(self.path("de.po"))
        self.assertTrue(all(e.msgstr == e.msgid and not e.fuzzy for e in po if not e.obsolete))


if __name__ == "__main__":
    unittest.main()
