"""brvlang: language packs from PO files and back, and checks of a translation.

    brvlang compile de.po -o OrdaviaStudio-de.brvLang [--format URESFILE|LANGPU16] [--template T.pot]
    brvlang decompile OrdaviaStudio-de.brvLang -o de.po [--template T.pot] [--codepage cp1252]
    brvlang check de.po [--template T.pot] [--complete]
    brvlang update de.po --template T.pot [--english]

In the PO files the text key is the message context (msgctxt), the program's English default is
the source text (msgid) and the translation is msgstr. The pack's descriptive strings live in the
PO header: "Language" (the language tag, "_" read as "-"), "X-Native-Name", "X-Pack-Comment",
"X-Pack-Description-1" and "X-Pack-Description-2".
"""

import argparse
import os
import re
import sys

import polib

import packs

PLACEHOLDER = re.compile(r"%[A-Z][A-Z0-9_]*%")
# An intentionally empty translation: PO has no other way to tell it from an untranslated entry.
EMPTY_FLAG = "empty-translation"

HEADER_FIELDS = (
    ("X-Native-Name", "native_name"),
    ("X-Pack-Comment", "comment"),
    ("X-Pack-Description-1", "description1"),
    ("X-Pack-Description-2", "description2"),
)


class Report:
    """What a check found, in the order found; errors stop a compile."""

    def __init__(self, path):
        self.path = path
        self.errors, self.warnings, self.untranslated, self.fuzzy = [], [], [], []
        self.translated = 0

    def at(self, entry):
        return f"{self.path}:{entry.linenum}" if entry is not None and entry.linenum else self.path

    def error(self, entry, text):
        self.errors.append(f"{self.at(entry)}: error: {text}")

    def warning(self, entry, text):
        self.warnings.append(f"{self.at(entry)}: warning: {text}")

    def summary(self):
        return (f"{self.path}: {self.translated} translated, {len(self.fuzzy)} fuzzy, "
                f"{len(self.untranslated)} untranslated")

    def print(self, out=None, list_untranslated=True):
        out = out or sys.stderr
        for line in self.errors + self.warnings:
            print(line, file=out)
        if list_untranslated:
            for line in self.fuzzy + self.untranslated:
                print(line, file=out)


def placeholders(text):
    return set(PLACEHOLDER.findall(text))


def live_entries(po):
    return [e for e in po if not e.obsolete]


def source_unknown(entry):
    """True when the entry's English text is not known: a decompiled pack that did not keep it
    (and no template gave it) has the key standing in for it."""
    return entry.msgid == entry.msgctxt


def is_translated(entry, use_fuzzy=False):
    if entry.fuzzy and not use_fuzzy:
        return False
    return bool(entry.msgstr) or EMPTY_FLAG in entry.flags


def check(po, path, template=None, use_fuzzy=False):
    """Every %NAME% of the English text must stay in the translation and no other may appear;
    with a template, every key must be one the program looks up."""
    report = Report(path)
    known = None
    if template is not None:
        known = {e.msgctxt: e for e in live_entries(template) if e.msgctxt is not None}
    seen = set()
    for entry in live_entries(po):
        key = entry.msgctxt
        if key is None:
            report.error(entry, f"the entry {entry.msgid[:40]!r} has no key (msgctxt)")
            continue
        if entry.msgid_plural:
            report.error(entry, f"{key}: plural forms are not supported by language packs")
            continue
        if key in seen:
            report.error(entry, f"{key}: the key appears twice")
            continue
        seen.add(key)
        english = None if source_unknown(entry) else entry.msgid
        if known is not None:
            source = known.get(key)
            if source is None:
                report.error(entry, f"{key}: unknown key, the program never looks it up")
                continue
            if english is None:
                english = source.msgid
            elif source.msgid != entry.msgid:
                report.warning(entry, f"{key}: the English text changed to {source.msgid!r}; review "
                                      f"the translation (brvlang update marks it fuzzy)")
                english = source.msgid
        if entry.fuzzy and not use_fuzzy:
            report.fuzzy.append(f"{report.at(entry)}: fuzzy: {key}")
            continue
        if not is_translated(entry, use_fuzzy):
            report.untranslated.append(f"{report.at(entry)}: untranslated: {key}")
            continue
        report.translated += 1
        if english is None:
            # Nothing to compare with: the translation may well be right.
            found = sorted(placeholders(entry.msgstr))
            if found:
                report.warning(entry, f"{key}: the English text is not known (the key stands in for it), "
                                      f"so the placeholders {', '.join(found)} cannot be checked; give the "
                                      f"catalogue with --template")
            continue
        wanted, found = placeholders(english), placeholders(entry.msgstr)
        for name in sorted(wanted - found):
            report.error(entry, f"{key}: the placeholder {name} of the English text is missing from "
                                f"the translation")
        for name in sorted(found - wanted):
            report.error(entry, f"{key}: the placeholder {name} is not in the English text; the "
                                f"program would show it as it stands")
    if known is not None:
        for key in known:
            if key not in seen:
                report.untranslated.append(f"{path}: untranslated: {key} (not in the file)")
    return report


def language_tag(po):
    # Translation tools write region tags with "_"; the program splits tags at "-" only.
    return po.metadata.get("Language", "").strip().replace("_", "-")


def po_to_pack(po, fmt="URESFILE", use_fuzzy=False):
    pack = packs.Pack(format=fmt, tag=language_tag(po))
    for name, attribute in HEADER_FIELDS:
        setattr(pack, attribute, po.metadata.get(name, ""))
    for entry in live_entries(po):
        text = entry.msgstr if is_translated(entry, use_fuzzy) else None
        # A key standing in for an unknown English text is not written as the English text.
        source = None if source_unknown(entry) else entry.msgid
        pack.entries.append(packs.Entry(entry.msgctxt, text, source))
    return pack


def pack_to_po(pack, template=None):
    """A PO file with the pack's entries; source texts come from the pack, else the template,
    else the key stands in (and a warning says so)."""
    po = polib.POFile(wrapwidth=78)
    po.metadata = {
        "MIME-Version": "1.0",
        "Content-Type": "text/plain; charset=UTF-8",
        "Content-Transfer-Encoding": "8bit",
    }
    if template is not None and "Project-Id-Version" in template.metadata:
        po.metadata["Project-Id-Version"] = template.metadata["Project-Id-Version"]
    if pack.tag:
        po.metadata["Language"] = pack.tag
    for name, attribute in HEADER_FIELDS:
        if getattr(pack, attribute):
            po.metadata[name] = getattr(pack, attribute)
    known = {}
    if template is not None:
        known = {e.msgctxt: e for e in live_entries(template) if e.msgctxt is not None}
    last = {e.key: e for e in pack.entries}  # a later entry with the same key replaces one before
    keyless = []
    for key, item in last.items():
        source = item.source or (known[key].msgid if key in known else None)
        if not source:
            keyless.append(key)
            source = key
        entry = polib.POEntry(msgctxt=key, msgid=source, msgstr=item.text or "")
        if item.text == "":
            entry.flags.append(EMPTY_FLAG)
        if key in known:
            entry.occurrences = list(known[key].occurrences)
            entry.comment = known[key].comment
        po.append(entry)
    return po, keyless


def update(po, template, english=False):
    """Brings a PO file in line with the template: new keys come in untranslated, a changed
    English text marks its translation fuzzy, keys the program no longer looks up become obsolete
    (and come back with their translation when they return). With english, every translation is
    the English text itself."""
    current = {e.msgctxt: e for e in live_entries(po) if e.msgctxt is not None}
    retired = {(e.msgctxt, e.msgid): e for e in po if e.obsolete}
    result = []
    for source in live_entries(template):
        entry = current.pop(source.msgctxt, None) or retired.pop((source.msgctxt, source.msgid), None)
        if entry is None:
            entry = polib.POEntry(msgctxt=source.msgctxt, msgid=source.msgid, msgstr="")
        entry.obsolete = False
        if entry.msgid != source.msgid and source_unknown(entry):
            # The key stood in for an English text the file did not know: nothing changed.
            entry.msgid = source.msgid
        elif entry.msgid != source.msgid:
            entry.previous_msgid = entry.msgid
            entry.msgid = source.msgid
            if entry.msgstr and "fuzzy" not in entry.flags:
                entry.flags.append("fuzzy")
        entry.occurrences = list(source.occurrences)
        entry.comment = source.comment
        if english:
            entry.msgstr = source.msgid
            entry.previous_msgid = None
            entry.flags = [f for f in entry.flags if f not in ("fuzzy", EMPTY_FLAG)]
        result.append(entry)
    for entry in list(current.values()) + list(retired.values()):
        entry.obsolete = True
        entry.occurrences = []
        result.append(entry)
    po[:] = result
    return po


# --- command line -------------------------------------------------------------------------------

def load_po(path):
    # polib takes a text that names no file for the content of a PO file.
    if not os.path.isfile(path):
        raise packs.PackError(f"{path}: no such file")
    try:
        return polib.pofile(path, wrapwidth=78)
    except (OSError, IOError, ValueError) as error:
        raise packs.PackError(f"{path}: cannot read the PO file: {error}") from None


def write_atomically(path, data):
    temporary = path + ".tmp"
    with open(temporary, "wb") as out:
        out.write(data)
    os.replace(temporary, path)


def run_compile(args):
    po = load_po(args.po)
    template = load_po(args.template) if args.template else None
    report = check(po, args.po, template, args.use_fuzzy)
    report.print(list_untranslated=args.verbose)
    if report.errors:
        print(f"{args.po}: {len(report.errors)} errors; no pack written", file=sys.stderr)
        return 1
    pack = po_to_pack(po, args.format, args.use_fuzzy)
    if args.format != "URESFILE" and pack.tag:
        print(f"{args.po}: warning: a {args.format} pack has no language tag; the program finds it "
              f"by its native name only", file=sys.stderr)
        pack.tag = ""
    write_atomically(args.output, packs.write_pack(pack))
    print(report.summary())
    return 0


def run_decompile(args):
    with open(args.pack, "rb") as stream:
        data = stream.read()
    try:
        pack = packs.read_pack(data, args.codepage)
    except packs.PackError as error:
        raise packs.PackError(f"{args.pack}: {error}") from None
    for warning in pack.warnings:
        print(f"{args.pack}: warning: {warning}", file=sys.stderr)
    template = load_po(args.template) if args.template else None
    po, keyless = pack_to_po(pack, template)
    po.header = f"Decompiled by brvlang from {os.path.basename(args.pack)} ({pack.format})."
    if keyless:
        print(f"{args.pack}: warning: {len(keyless)} entries have no English text in the pack; their "
              f"key stands in (give the template with --template)", file=sys.stderr)
    text = str(po)
    if not text.endswith("\n"):
        text += "\n"
    write_atomically(args.output, text.encode("utf-8"))
    print(f"{args.pack}: {pack.format} pack, {len(po)} entries")
    return 0


def run_check(args):
    po = load_po(args.po)
    template = load_po(args.template) if args.template else None
    report = check(po, args.po, template)
    report.print()
    print(report.summary())
    if report.errors:
        return 1
    if args.complete and (report.untranslated or report.fuzzy or report.warnings):
        return 1
    return 0


def run_update(args):
    po = load_po(args.po)
    update(po, load_po(args.template), args.english)
    text = str(po)
    write_atomically(args.po, (text if text.endswith("\n") else text + "\n").encode("utf-8"))
    return 0


def main(argv=None):
    parser = argparse.ArgumentParser(prog="brvlang", description="Language packs from PO files and back.")
    commands = parser.add_subparsers(dest="command", required=True)

    p = commands.add_parser("compile", help="compile a PO file into a language pack")
    p.add_argument("po")
    p.add_argument("-o", "--output", required=True)
    p.add_argument("--format", choices=packs.WRITABLE_FORMATS, default="URESFILE")
    p.add_argument("--template", help="the catalogue (.pot): keys it lacks are errors")
    p.add_argument("--use-fuzzy", action="store_true", help="compile fuzzy translations too")
    p.add_argument("-v", "--verbose", action="store_true", help="list untranslated entries")
    p.set_defaults(run=run_compile)

    p = commands.add_parser("decompile", help="turn a language pack of any format into a PO file")
    p.add_argument("pack")
    p.add_argument("-o", "--output", required=True)
    p.add_argument("--template", help="the catalogue (.pot), for source texts the pack lacks")
    p.add_argument("--codepage", default="cp1252", help="ANSI code page of LANGPACK/LANGPCK2 packs")
    p.set_defaults(run=run_decompile)

    p = commands.add_parser("check", help="check a translation")
    p.add_argument("po")
    p.add_argument("--template", help="the catalogue (.pot): keys it lacks are errors")
    p.add_argument("--complete", action="store_true", help="untranslated, fuzzy or outdated entries fail too")
    p.set_defaults(run=run_check)

    p = commands.add_parser("update", help="bring a PO file in line with the catalogue")
    p.add_argument("po")
    p.add_argument("--template", required=True)
    p.add_argument("--english", action="store_true", help="translate every entry by its English text")
    p.set_defaults(run=run_update)

    args = parser.parse_args(argv)
    try:
        return args.run(args)
    except packs.PackError as error:
        print(f"brvlang: {error}", file=sys.stderr)
        return 2
    except (OSError, LookupError) as error:
        print(f"brvlang: {error}", file=sys.stderr)
        return 2


if __name__ == "__main__":
    sys.exit(main())
