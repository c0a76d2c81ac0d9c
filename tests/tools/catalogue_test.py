#!/usr/bin/python3
"""The catalogue of looked-up texts: the forms the extractor recognises, and the committed
template against the sources as they are now."""

import os
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.realpath(__file__))
ROOT = os.path.realpath(os.path.join(HERE, "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "tools", "lang"))

import brvlang  # noqa: E402
import catalogue  # noqa: E402
import polib  # noqa: E402

FORMS = [
    # (case, source, expected (key, default) pairs)
    ("plain call", 'x = Localize("Menu.Internet", L"Internet");', [("Menu.Internet", "Internet")]),
    ("default split over lines", 'Localize("A.B",\n    L"one "\n    L"two\\n" L"three");', [("A.B", "one two\nthree")]),
    ("escapes", r'Localize("A.Q", L"say \"hi\"\t\\ \x41\u00e9");', [("A.Q", 'say "hi"\t\\ A\u00e9')]),
    ("key with a blank", 'Localize("SystemMenu.Send Report", L"&Send");', [("SystemMenu.Send Report", "&Send")]),
    ("helper that passes both on", 'DiscAction("CPyrlan.Autoplay.BurnDisc", L"Burn %X%")',
     [("CPyrlan.Autoplay.BurnDisc", "Burn %X%")]),
    ("table rows", '{2002, "Menu.Internet.Recommend", L"Recommend"},\n{107, "Menu.Internet.Support", L"Support"},',
     [("Menu.Internet.Recommend", "Recommend"), ("Menu.Internet.Support", "Support")]),
    ("raw default", 'Localize("A.Raw", LR"(C:\\path "q")");', [("A.Raw", 'C:\\path "q"')]),
    ("commented out", '// Localize("Old.Key", L"Old");\n/* Localize("Older", L"x"); */', []),
    ("quotes in character literals", "c = '\"'; Localize(\"A.C\", L\"c\"); d = L'\\'';", [("A.C", "c")]),
    ("two wide literals are no lookup", 'ReadProductString(L"", L"Version", L"9.24.0");', []),
    ("a narrow text that is no key", 'Log("hello world", L"x");', []),
    ("undotted key in a call", 'Localize("Pyrlan", L"Could not load");', [("Pyrlan", "Could not load")]),
    ("a library message for the foundation's localizer",
     'RaiseFileError("kapp.CZipSaveManager.WriteFailed", L"The data store could not be written.");', []),
    ("a table of codes and names", '{"aar", "aa", L"Afar"}, {"abk", "ab", L"Abkhazian"},', []),
]


class ExtractTests(unittest.TestCase):
    def test_forms(self):
        for name, source, expected in FORMS:
            with self.subTest(name):
                found, unlisted = catalogue.extract(source, "test.cpp")
                self.assertEqual([(k, d) for k, d, _ in found], expected)
                self.assertEqual(unlisted, [])

    def test_lookups_whose_text_cannot_be_listed_are_reported(self):
        source = ("std::wstring Localize(const char* key, const std::wstring& defaultText);\n"
                  "std::wstring CLangPackMan::Localize(const char*, const std::wstring& d) const {}\n"
                  "return g_localizer->Localize(key, defaultText);\n"
                  "a = Localize(kKey, L\"x\");\n"
                  "b = Localize(\"K\", std::wstring(L\"x\") + name);\n"
                  "c = Localize(row.key, rows[i].text.c_str());\n"
                  "d = Localize((\"Menu.\" + name).c_str(), text);\n"
                  "e = Localize(\"K\", text);\n")
        self.assertEqual(catalogue.extract(source, "test.cpp")[1], [4, 5, 7, 8])

    def test_catalogue_from_a_source_tree(self):
        with tempfile.TemporaryDirectory() as root:
            def source(path, text):
                os.makedirs(os.path.dirname(os.path.join(root, path)), exist_ok=True)
                with open(os.path.join(root, path), "w", encoding="utf-8") as f:
                    f.write(text)
            source("app/A.cpp", 'Localize("B.Key", L"Bee %COMPANY%"); Localize("A.Key", L"Ay");')
            source("app/sub/C.cpp", 'Localize("A.Key", L"Ay");')
            source("kest/Error.cpp", 'Localize("kest.Own", L"never in a pack");')
            pot, _ = catalogue.build_catalogue(root)
            self.assertEqual([(e.msgctxt, e.msgid, e.occurrences) for e in pot],
                             [("A.Key", "Ay", [("app/A.cpp", ""), ("app/sub/C.cpp", "")]),
                              ("B.Key", "Bee %COMPANY%", [("app/A.cpp", "")])])
            self.assertIn("%COMPANY%", pot[1].comment)

            source("app/D.cpp", 'Localize("A.Key", L"Another text");')
            with self.assertRaisesRegex(catalogue.CatalogueError, "A.Key: a second English default"):
                catalogue.build_catalogue(root)


class CommittedCatalogueTests(unittest.TestCase):
    """The committed template lists every text the program looks up, with today's defaults; the
    English PO file is complete and the German one correct against it."""

    def test_template_matches_the_sources(self):
        pot, unlisted = catalogue.build_catalogue(ROOT)
        self.assertEqual(unlisted, [], "Localize calls whose texts the catalogue cannot list")
        path = os.path.join(ROOT, catalogue.TEMPLATE)
        with open(path, encoding="utf-8") as f:
            committed = f.read()
        if committed != catalogue.render(pot):
            self.fail("lang/po/OrdaviaStudio.pot is stale; run tools/lang/catalogue.py and brvlang update "
                      "(README.md, Translations):\n  " + "\n  ".join(catalogue.differences(pot, committed)))

    def test_po_files(self):
        template = polib.pofile(os.path.join(ROOT, catalogue.TEMPLATE))
        for name, complete in (("en.po", True), ("de.po", False)):
            with self.subTest(name):
                path = os.path.join(ROOT, "lang", "po", name)
                report = brvlang.check(polib.pofile(path), path, template)
                self.assertEqual(report.errors, [])
                if complete:
                    self.assertEqual(report.untranslated + report.fuzzy + report.warnings, [])
                    self.assertTrue(all(e.msgstr == e.msgid for e in polib.pofile(path) if not e.obsolete))


if __name__ == "__main__":
    unittest.main()
