#!/usr/bin/python3
"""The catalogue of every text the program looks up in a language pack, extracted from the
sources and written as a PO template: the key is the message context, the English default the
source text.

    tools/lang/catalogue.py            write lang/po/OrdaviaStudio.pot
    tools/lang/catalogue.py --check    fail (and say what differs) when the template is stale

A looked-up text appears in the sources as a call Localize("Pyrlan", L"Could not load %BURNDLL%")
with a narrow key literal and a wide default literal, or as a dotted narrow key literal directly
followed by a wide default literal anywhere else: a helper that passes both on
(DiscAction("CPyrlan.Autoplay.BurnDisc", L"Burn %IMPORTANTDTCS%")) or a row of a table
({2002, "Menu.Internet.Recommend", L"Recommend Program to a Friend"}). Outside a Localize call
the key must be dotted, so that tables of codes and names ({"aar", "aa", L"Afar"}) stay out. Adjacent literals join as
the compiler joins them; comments are skipped. A Localize call that builds its key or default
(or gives only one of them as a literal) is reported, because its text cannot be listed; one
that hands on both from elsewhere (a helper's parameters, a table row's members) is not.

The libraries' own messages are not listed: their keys ("kest.CSystem.DeleteFileFailed",
"kapp.CZipSaveManager.WriteFailed") go through the foundation's string localizer, which the
language packs never fill.
"""

import argparse
import os
import re
import sys

import polib

SOURCE_FOLDERS = ("app", "lang", "kapp", "chk")
SOURCE_SUFFIXES = (".cpp", ".h")
TEMPLATE = os.path.join("lang", "po", "OrdaviaStudio.pot")
PROJECT = "Brenvalo Ordavia 2010 Advanced"

# Keys of the libraries' own messages ("kest.CSystem.DeleteFileFailed") go to the foundation's
# string localizer, which the packs never fill.
LIBRARY_NAMESPACES = ("kest", "kapp", "chk")
KEY = re.compile(r"[A-Za-z_][A-Za-z0-9_]*(\.[A-Za-z0-9_][A-Za-z0-9_ ]*)*")
PLACEHOLDER = re.compile(r"%[A-Z][A-Z0-9_]*%")
STRING_PREFIXES = {"L", "u", "U", "u8", "R", "LR", "uR", "UR", "u8R"}
SIMPLE_ESCAPES = {"n": "\n", "t": "\t", "r": "\r", "\\": "\\", '"': '"', "'": "'", "?": "?",
                  "a": "\a", "b": "\b", "f": "\f", "v": "\v"}


class CatalogueError(Exception):
    pass


class Token:
    __slots__ = ("kind", "value", "line", "wide")

    def __init__(self, kind, value, line, wide=False):
        self.kind, self.value, self.line, self.wide = kind, value, line, wide


def _unescape(body, where):
    out, i = [], 0
    while i < len(body):
        c = body[i]
        if c != "\\":
            out.append(c)
            i += 1
            continue
        n = body[i + 1]
        if n in SIMPLE_ESCAPES:
            out.append(SIMPLE_ESCAPES[n])
            i += 2
        elif n == "x":
            m = re.match(r"[0-9A-Fa-f]+", body[i + 2:])
            out.append(chr(int(m.group(0), 16)))
            i += 2 + len(m.group(0))
        elif n in "uU":
            digits = 4 if n == "u" else 8
            out.append(chr(int(body[i + 2:i + 2 + digits], 16)))
            i += 2 + digits
        elif n in "01234567":
            m = re.match(r"[0-7]{1,3}", body[i + 1:])
            out.append(chr(int(m.group(0), 8)))
            i += 1 + len(m.group(0))
        else:
            raise CatalogueError(f"{where}: unknown escape \\{n}")
    return "".join(out)


def tokenize(text, where):
    """C++ tokens as far as the catalogue needs them: string literals (decoded, with adjacent
    ones joined), identifiers and single punctuation characters. Comments, character literals and
    preprocessor lines' contents other than strings are passed over."""
    tokens, i, line, n = [], 0, 1, len(text)
    while i < n:
        c = text[i]
        if c == "\n":
            line += 1
            i += 1
        elif c.isspace():
            i += 1
        elif text.startswith("//", i):
            end = text.find("\n", i)
            i = n if end < 0 else end
        elif text.startswith("/*", i):
            end = text.find("*/", i + 2)
            end = n if end < 0 else end + 2
            line += text.count("\n", i, end)
            i = end
        elif c.isalpha() or c == "_":
            m = re.compile(r"[A-Za-z0-9_]+").match(text, i)
            word = m.group(0)
            i = m.end()
            if i < n and text[i] == '"' and word in STRING_PREFIXES:
                i, line = _string(text, i, line, word, tokens, where)
            elif i < n and text[i] == "'" and word in ("L", "u", "U", "u8"):
                i = _skip_char(text, i)
            else:
                tokens.append(Token("ident", word, line))
        elif c.isdigit():
            m = re.compile(r"[0-9A-Za-z_.']+").match(text, i)
            i = m.end()
            tokens.append(Token("number", m.group(0), line))
        elif c == '"':
            i, line = _string(text, i, line, "", tokens, where)
        elif c == "'":
            i = _skip_char(text, i)
        else:
            tokens.append(Token("punct", c, line))
            i += 1
    return tokens


def _skip_char(text, i):
    j = i + 1
    while j < len(text) and text[j] != "'":
        j += 2 if text[j] == "\\" else 1
    return j + 1


def _string(text, i, line, prefix, tokens, where):
    start_line = line
    if prefix.endswith("R"):
        m = re.compile(r'"([^(\s]*)\(').match(text, i)
        close = ")" + m.group(1) + '"'
        end = text.find(close, m.end())
        if end < 0:
            raise CatalogueError(f"{where}:{line}: raw string without its end")
        value = text[m.end():end]
        i = end + len(close)
    else:
        j = i + 1
        while j < len(text) and text[j] != '"':
            if text[j] == "\n":
                raise CatalogueError(f"{where}:{line}: string literal without its closing quote")
            j += 2 if text[j] == "\\" else 1
        value = _unescape(text[i + 1:j], f"{where}:{line}")
        i = j + 1
    line += value.count("\n") if prefix.endswith("R") else 0
    wide = prefix.rstrip("R") == "L"
    last = tokens[-1] if tokens else None
    if last is not None and last.kind == "string":
        last.value += value
        last.wide = last.wide or wide
    else:
        tokens.append(Token("string", value, start_line, wide))
    return i, line


def extract(text, where):
    """(key, default, line) of every looked-up text in one source, and the lines of Localize calls
    whose texts cannot be listed."""
    tokens = tokenize(text, where)
    found, unlisted, taken = [], [], set()

    def take(k):
        if k not in taken:
            taken.add(k)
            found.append((tokens[k].value, tokens[k + 2].value, tokens[k].line))

    for k, t in enumerate(tokens):
        if (t.kind == "string" and not t.wide and k + 2 < len(tokens)
                and tokens[k + 1].kind == "punct" and tokens[k + 1].value == ","
                and tokens[k + 2].kind == "string" and tokens[k + 2].wide and KEY.fullmatch(t.value)
                and "." in t.value and t.value.split(".", 1)[0] not in LIBRARY_NAMESPACES):
            take(k)
        if (t.kind == "ident" and t.value == "Localize" and k + 1 < len(tokens)
                and tokens[k + 1].value == "(" and (k == 0 or tokens[k - 1].value != ":")):
            args = _arguments(tokens, k + 2)
            if not _listable(args):
                unlisted.append(t.line)
            elif all(len(a) == 1 and a[0].kind == "string" for a in args) and not args[0][0].wide:
                take(k + 2)
    return found, unlisted


def _arguments(tokens, k):
    """The top-level arguments of a call, each a list of tokens; k is just after "("."""
    args, current, depth = [], [], 0
    while k < len(tokens):
        t = tokens[k]
        if t.kind == "punct" and t.value in "([{":
            depth += 1
        elif t.kind == "punct" and t.value in ")]}":
            if depth == 0:
                break
            depth -= 1
        elif t.kind == "punct" and t.value == "," and depth == 0:
            args.append(current)
            current = []
            k += 1
            continue
        current.append(t)
        k += 1
    args.append(current)
    return args


def _passed_on(arg):
    """An argument that hands on a value made elsewhere (a parameter, a table row's member)
    rather than building a text here."""
    return bool(arg) and not any(t.kind == "string" or (t.kind == "punct" and t.value == "+") for t in arg)


def _listable(args):
    if len(args) != 2:
        return False  # a call of another form
    key, default = args
    if key and key[0].kind == "ident" and key[0].value in ("const", "std", "char"):
        return True  # the function's own declaration
    literal = [len(a) == 1 and a[0].kind == "string" for a in args]
    if all(literal):
        return True
    # Keys and defaults handed on together come from literal pairs that are listed where they stand.
    return not any(literal) and _passed_on(key) and _passed_on(default)


def sources(root):
    for folder in SOURCE_FOLDERS:
        base = os.path.join(root, folder)
        for directory, subdirs, files in os.walk(base):
            subdirs.sort()
            for name in sorted(files):
                if name.endswith(SOURCE_SUFFIXES):
                    yield os.path.join(directory, name)


def build_catalogue(root):
    """The template as a POFile, and the places of Localize calls that cannot be listed."""
    defaults, places, unlisted = {}, {}, []
    for path in sources(root):
        relative = os.path.relpath(path, root).replace(os.sep, "/")
        with open(path, encoding="utf-8") as stream:
            found, calls = extract(stream.read(), relative)
        unlisted += [f"{relative}:{line}" for line in calls]
        for key, default, line in found:
            if not default:
                raise CatalogueError(f"{relative}:{line}: {key}: the English default is empty")
            if key in defaults and defaults[key] != default:
                raise CatalogueError(f"{relative}:{line}: {key}: a second English default {default!r}; "
                                     f"elsewhere it is {defaults[key]!r} (one key, one text)")
            defaults[key] = default
            if relative not in places.setdefault(key, []):
                places[key].append(relative)
    pot = polib.POFile(wrapwidth=78)
    pot.metadata = {
        "Project-Id-Version": PROJECT,
        "MIME-Version": "1.0",
        "Content-Type": "text/plain; charset=UTF-8",
        "Content-Transfer-Encoding": "8bit",
    }
    pot.header = ("Texts of the program's user interface, looked up by key (msgctxt).\n"
                  "Generated by tools/lang/catalogue.py from the sources; do not edit.")
    for key in sorted(defaults):
        entry = polib.POEntry(msgctxt=key, msgid=defaults[key], msgstr="",
                              occurrences=[(place, "") for place in places[key]])
        names = sorted(set(PLACEHOLDER.findall(defaults[key])))
        if names:
            entry.comment = "Keep " + ", ".join(names) + ": the program fills in the value."
        pot.append(entry)
    return pot, unlisted


def render(pot):
    text = str(pot)
    return text if text.endswith("\n") else text + "\n"


def differences(expected, current_text):
    """Readable differences between the extracted catalogue and the committed one."""
    current = polib.pofile(current_text)
    have = {e.msgctxt: e.msgid for e in current if not e.obsolete}
    want = {e.msgctxt: e.msgid for e in expected}
    lines = [f"missing key: {k}" for k in sorted(want.keys() - have.keys())]
    lines += [f"key no longer looked up: {k}" for k in sorted(have.keys() - want.keys())]
    lines += [f"default changed: {k}: {want[k]!r} (was {have[k]!r})"
              for k in sorted(want.keys() & have.keys()) if want[k] != have[k]]
    return lines or ["places or header differ"]


def main(argv=None):
    here = os.path.dirname(os.path.realpath(__file__))
    parser = argparse.ArgumentParser(description="Extract the catalogue of looked-up texts.")
    parser.add_argument("--root", default=os.path.dirname(os.path.dirname(here)))
    parser.add_argument("-o", "--output", help=f"default: ROOT/{TEMPLATE}")
    parser.add_argument("--check", action="store_true", help="compare with the file instead of writing it")
    args = parser.parse_args(argv)
    output = args.output or os.path.join(args.root, TEMPLATE)
    try:
        pot, unlisted = build_catalogue(args.root)
    except CatalogueError as error:
        print(f"catalogue: {error}", file=sys.stderr)
        return 1
    for place in unlisted:
        print(f"{place}: warning: Localize with a key or default that is not a literal; its text "
              f"cannot be listed", file=sys.stderr)
    text = render(pot)
    if args.check:
        current = open(output, encoding="utf-8").read() if os.path.isfile(output) else ""
        if current == text:
            print(f"{output}: {len(pot)} keys, up to date")
            return 0
        for line in differences(pot, current) if current else ["the template is missing"]:
            print(f"{output}: {line}", file=sys.stderr)
        print(f"{output} is stale: run tools/lang/catalogue.py, then brvlang update for each PO file "
              f"(see README.md)", file=sys.stderr)
        return 1
    with open(output, "w", encoding="utf-8") as out:
        out.write(text)
    print(f"{output}: {len(pot)} keys")
    return 0


if __name__ == "__main__":
    sys.exit(main())
