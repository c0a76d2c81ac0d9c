"""Language pack files: the flat packs ("LANGPACK", "LANGPCK2", "LANGPU16") and the resource
file ("URESFILE", a chunk file), read and written from their layout.

The reader is strict where the program is lenient: a pack that the program would load only in
part (a truncated body, a chunk that runs past its parent) is rejected with a message naming the
place, because a translator's tool must never quietly turn a damaged file into a shorter one.
Where the program reads a damaged string as empty (no terminator), the reader does the same and
says so in the pack's warnings, so a decompiled pack shows what the program would show.

Every pack that brvlang writes keeps the English source text of each entry in the entry's third
string, which the program does not read, so that a pack decompiles back into a complete PO file
with its source texts, untranslated entries included.
"""

import struct
from dataclasses import dataclass, field

FLAT_SIGNATURES = (b"LANGPACK", b"LANGPCK2", b"LANGPU16")
RESOURCE_SIGNATURE = b"URESFILE"
SIGNATURES = FLAT_SIGNATURES + (RESOURCE_SIGNATURE,)
WRITABLE_FORMATS = ("URESFILE", "LANGPU16")

CHUNK_HEADER = 12
USED_FLAG = 1


class PackError(Exception):
    """A file that is not a language pack or is damaged; the text says where."""


@dataclass
class Entry:
    key: str
    text: str | None  # None: no translation; the program shows its built-in default
    source: str | None = None  # the English source text, where the pack keeps it


@dataclass
class Pack:
    format: str = "URESFILE"
    tag: str = ""
    native_name: str = ""
    comment: str = ""
    description1: str = ""
    description2: str = ""
    entries: list[Entry] = field(default_factory=list)
    warnings: list[str] = field(default_factory=list)

    def texts(self):
        """What the program loads: key -> text for every translated entry, a later entry with
        the same key replacing an earlier one."""
        return {e.key: e.text for e in self.entries if e.text is not None}

    def content(self):
        """Everything of the pack that a round trip through a PO file keeps."""
        return (self.format, self.tag, self.native_name, self.comment, self.description1,
                self.description2, [(e.key, e.text, e.source) for e in self.entries])


# --- reading --------------------------------------------------------------------------------

class _Reader:
    """Bounded reads over one byte range; every overrun is a PackError naming the field."""

    def __init__(self, data, start, end, what):
        self.data, self.pos, self.end, self.what = data, start, end, what

    def need(self, count, field_name):
        if count < 0 or self.pos + count > self.end:
            raise PackError(f"{self.what} is truncated: {field_name} at offset {self.pos} needs "
                            f"{count} bytes, {max(self.end - self.pos, 0)} remain")

    def take(self, count, field_name):
        self.need(count, field_name)
        chunk = self.data[self.pos:self.pos + count]
        self.pos += count
        return chunk

    def u32(self, field_name):
        return struct.unpack("<I", self.take(4, field_name))[0]

    def i64(self, field_name):
        return struct.unpack("<q", self.take(8, field_name))[0]


def _flat_string(reader, wide, codepage, field_name, warnings):
    count = reader.u32(field_name + " length")
    raw = reader.take(count, field_name)
    if count == 0:
        return ""
    unit = 2 if wide else 1
    if count % unit or raw[-unit:] != b"\0" * unit:
        warnings.append(f"{field_name} at offset {reader.pos - count} has no terminating zero; "
                        f"the program reads it as empty")
        return ""
    body = raw[:-unit]
    text = body.decode("utf-16-le", "surrogatepass") if wide else _decode_ansi(body, codepage, field_name)
    return text.split("\0", 1)[0]


def _decode_ansi(raw, codepage, field_name):
    try:
        return raw.decode(codepage)
    except UnicodeDecodeError as error:
        raise PackError(f"{field_name} is not text in code page {codepage} ({error.reason} at byte "
                        f"{error.start}); name the pack's code page with --codepage") from None


def _read_flat(data, signature, codepage):
    pack = Pack(format=signature.decode("ascii"))
    wide = signature == b"LANGPU16"
    r = _Reader(data, 8, len(data), "pack header")
    version = layout = 0
    if signature != b"LANGPACK":
        version = r.u32("format version")
        layout = r.u32("entry layout")
    if version > 1:
        raise PackError(f"format version {version} is not known (0 and 1 are)")
    header_length = r.u32("header length")
    r.need(header_length, "header body")
    h = _Reader(data, r.pos, r.pos + header_length, "pack header")
    w = pack.warnings
    pack.description1 = _flat_string(h, wide, codepage, "first description", w)
    pack.description2 = _flat_string(h, wide, codepage, "second description", w)
    pack.native_name = _flat_string(h, wide, codepage, "native name", w)
    pack.comment = _flat_string(h, wide, codepage, "comment", w)

    body = _Reader(data, r.pos + header_length, len(data), "pack body")
    count = body.u32("entry count")
    for index in range(count):
        name = f"entry {index + 1} of {count}"
        if layout >= 1:
            length = body.u32(name + " length")
            body.need(length, name)
            e = _Reader(data, body.pos, body.pos + length, name)
            body.pos += length
        else:
            e = body
        key = _flat_string(e, wide, codepage, name + " key", w)
        text = _flat_string(e, wide, codepage, name + " text", w)
        source = _flat_string(e, wide, codepage, name + " third string", w)
        _flat_string(e, wide, codepage, name + " fourth string", w)
        used = True
        if layout >= 1:
            used = bool(e.u32(name + " flags") & USED_FLAG)
        pack.entries.append(Entry(key, text if used else None, source or None))
    if body.pos != len(data):
        w.append(f"{len(data) - body.pos} bytes after the last entry are not read")
    return pack


def _res_string(reader, field_name):
    """A counted UTF-16 string; None when absent (count 0). The last unit is taken as the
    terminator whatever it holds, as the program does."""
    count = reader.u32(field_name + " length")
    if count == 0:
        return None
    raw = reader.take(2 * count, field_name)
    return raw[:-2].decode("utf-16-le", "surrogatepass").split("\0", 1)[0]


def _chunks(data, start, end, where):
    """(id, data start, data end) of the chunks between start and end, in file order."""
    pos = start
    while end - pos >= CHUNK_HEADER:
        cid = data[pos:pos + 4]
        size = struct.unpack("<q", data[pos + 4:pos + 12])[0]
        name = cid.decode("latin-1")
        if size < 0 or size > end - pos - CHUNK_HEADER:
            raise PackError(f"chunk '{name}' at offset {pos} in {where} declares {size} bytes, "
                            f"{end - pos - CHUNK_HEADER} remain: the file is truncated or damaged")
        yield cid, pos + CHUNK_HEADER, pos + CHUNK_HEADER + size
        pos += CHUNK_HEADER + size
    if pos != end:
        raise PackError(f"{end - pos} stray bytes at offset {pos} in {where}: the file is truncated "
                        f"or damaged")


def _read_resource(data):
    pack = Pack(format="URESFILE")
    r = _Reader(data, 8, len(data), "resource file header")
    size = r.i64("root size")
    if size < 0 or size > len(data) - 16:
        raise PackError(f"the root declares {size} bytes, {len(data) - 16} follow the header: the "
                        f"file is truncated or damaged")
    if size < len(data) - 16:
        pack.warnings.append(f"{len(data) - 16 - size} bytes after the root are not read")
    root = list(_chunks(data, 16, 16 + size, "the root"))

    # The language is read only from a "lang" chunk at the front (after resource-set ids).
    for cid, start, end in root:
        if cid == b"RSID":
            continue
        if cid == b"lang":
            c = _Reader(data, start, end, "chunk 'lang'")
            pack.tag = _res_string(c, "language tag") or ""
            pack.native_name = _res_string(c, "native name") or ""
        break
    for cid, start, end in root:
        if cid == b"apid":
            c = _Reader(data, start, end, "chunk 'apid'")
            pack.description1 = _res_string(c, "first description") or ""
            pack.description2 = _res_string(c, "second description") or ""
            break
    for cid, start, end in root:
        if cid == b"cmnt":
            pack.comment = _res_string(_Reader(data, start, end, "chunk 'cmnt'"), "comment") or ""
            break

    tables = [(start, end) for cid, start, end in root if cid == b"STMP"]
    if len(tables) > 1:
        pack.warnings.append(f"{len(tables)} string tables: the program uses only the last one")
    for start, end in tables[-1:]:
        data_chunks = [(s, e) for cid, s, e in _chunks(data, start, end, "chunk 'STMP'") if cid == b"data"]
        if not data_chunks:
            continue
        s, e = data_chunks[0]
        c = _Reader(data, s, e, "chunk 'data'")
        count = c.u32("entry count")
        for index in range(count):
            name = f"entry {index + 1} of {count}"
            c.u32(name + " value")
            key = _res_string(c, name + " key") or ""
            text = _res_string(c, name + " text")
            source = _res_string(c, name + " third string")
            _res_string(c, name + " fourth string")
            pack.entries.append(Entry(key, text, source or None))
    return pack


def read_pack(data, codepage="cp1252"):
    """Parses a pack of any of the four signatures. codepage decodes "LANGPACK" and "LANGPCK2"
    strings (the Windows ANSI code page the pack was made for)."""
    if len(data) < 8:
        raise PackError(f"the file is {len(data)} bytes long: too short for a language pack")
    signature = bytes(data[:8])
    if signature in FLAT_SIGNATURES:
        pack = _read_flat(data, signature, codepage)
    elif signature == RESOURCE_SIGNATURE:
        pack = _read_resource(data)
    else:
        raise PackError(f"not a language pack: the signature {signature!r} is none of "
                        + ", ".join(s.decode() for s in SIGNATURES))
    keys = [e.key for e in pack.entries]
    doubles = sorted({k for k in keys if keys.count(k) > 1})
    if doubles:
        pack.warnings.append("keys stored twice (the later text counts): " + ", ".join(doubles))
    return pack


# --- writing --------------------------------------------------------------------------------

def _utf16_units(text):
    return text.encode("utf-16-le", "surrogatepass")


def _res_put(text):
    if text is None:
        return struct.pack("<I", 0)
    raw = _utf16_units(text) + b"\0\0"
    return struct.pack("<I", len(raw) // 2) + raw


def _chunk(cid, body):
    return cid + struct.pack("<q", len(body)) + body


def _write_resource(pack):
    rows = [struct.pack("<I", len(pack.entries))]
    for e in pack.entries:
        rows.append(struct.pack("<I", 0) + _res_put(e.key) + _res_put(e.text) + _res_put(e.source)
                    + _res_put(None))
    lang = _res_put(pack.tag) + _res_put(pack.native_name) + _res_put(None)
    root = (_chunk(b"lang", lang)
            + _chunk(b"apid", _res_put(pack.description1) + _res_put(pack.description2))
            + _chunk(b"cmnt", _res_put(pack.comment))
            + _chunk(b"STMP", _chunk(b"lang", lang) + _chunk(b"data", b"".join(rows))))
    return RESOURCE_SIGNATURE + struct.pack("<q", len(root)) + root


def _flat_put(text):
    raw = _utf16_units(text) + b"\0\0"
    return struct.pack("<I", len(raw)) + raw


def _write_flat_wide(pack):
    header = (_flat_put(pack.description1) + _flat_put(pack.description2) + _flat_put(pack.native_name)
              + _flat_put(pack.comment))
    out = [b"LANGPU16", struct.pack("<III", 1, 1, len(header)), header, struct.pack("<I", len(pack.entries))]
    for e in pack.entries:
        body = (_flat_put(e.key) + _flat_put(e.text or "") + _flat_put(e.source or "") + _flat_put("")
                + struct.pack("<I", USED_FLAG if e.text is not None else 0))
        out.append(struct.pack("<I", len(body)) + body)
    return b"".join(out)


def write_pack(pack):
    """The pack's bytes in its format ("URESFILE" or "LANGPU16")."""
    for text in [pack.tag, pack.native_name, pack.comment, pack.description1, pack.description2] + \
            [t for e in pack.entries for t in (e.key, e.text, e.source) if t]:
        if "\0" in text:
            raise PackError(f"the text {text[:40]!r} holds a zero character, which would cut it short")
    if pack.format == "URESFILE":
        return _write_resource(pack)
    if pack.format == "LANGPU16":
        return _write_flat_wide(pack)
    raise PackError(f"packs are written as {' or '.join(WRITABLE_FORMATS)}, not {pack.format}")
