#!/usr/bin/env python3
"""make_seeds.py <folder>: writes the fuzz targets' starting corpora, one folder per target,
from the program's own pack writer (tools/lang/packs.py) and the forms the other inputs take."""
import io
import os
import struct
import sys
import zipfile

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
sys.path.insert(0, os.path.join(ROOT, "tools", "lang"))
import packs  # noqa: E402


def write(folder, target, name, data):
    path = os.path.join(folder, target)
    os.makedirs(path, exist_ok=True)
    with open(os.path.join(path, name), "wb") as f:
        f.write(data)


def resource_packs():
    small = packs.Pack(tag="de-DE", native_name="Deutsch", comment="Fuzz seed",
                       description1="German", description2="for the shell",
                       entries=[packs.Entry("Menu.File", "Datei"), packs.Entry("Menu.Internet", "Internet", "Internet"),
                                packs.Entry("Menu.Untranslated", None)])
    empty = packs.Pack(tag="x-custom", native_name="")
    return {"resource_de.brvLang": packs.write_pack(small), "resource_empty.brvLang": packs.write_pack(empty)}


def utf16(text):
    return text.encode("utf-16-le")


def flat_ansi(signature, layout, entries):
    """A flat ANSI pack ("LANGPACK", or "LANGPCK2" with an entry layout), which the pack writer
    leaves to older tools: zero-terminated code-page strings, each after its byte count."""
    def put(text):
        raw = text.encode("cp1252") + b"\0"
        return struct.pack("<I", len(raw)) + raw
    header = put("Deutsch (ANSI)") + put("for the shell") + put("Deutsch") + put("Fuzz seed")
    out = [signature]
    if signature != b"LANGPACK":
        out.append(struct.pack("<II", 1, layout))
    out += [struct.pack("<I", len(header)), header, struct.pack("<I", len(entries))]
    for key, text, used in entries:
        body = put(key) + put(text) + put("") + put("")
        if layout >= 1:
            body += struct.pack("<I", 1 if used else 0)
            body = struct.pack("<I", len(body)) + body
        out.append(body)
    return b"".join(out)


def main():
    out = sys.argv[1]
    for name, data in resource_packs().items():
        write(out, "chunk_walk", name, data)
    write(out, "chunk_walk", "header_only", b"URESFILE" + struct.pack("<q", 0))

    for name, data in resource_packs().items():
        write(out, "pack_resource", name, data)
    wide = packs.Pack(format="LANGPU16", tag="fr-FR", native_name="Français", comment="Fuzz seed",
                      description1="French", description2="for the shell",
                      entries=[packs.Entry("Menu.File", "Fichier"), packs.Entry("Menu.Help", None),
                               packs.Entry("CLanguages.WindowTitle", "Langues – 𝄞")])
    write(out, "pack_flat", "wide.brvLang", packs.write_pack(wide))
    entries = [("Menu.File", "Datei", True), ("Menu.Größe", "Größe", True), ("Menu.Unused", "x", False)]
    write(out, "pack_flat", "ansi_v0.brvLang", flat_ansi(b"LANGPACK", 0, entries))
    write(out, "pack_flat", "ansi_layout1.brvLang", flat_ansi(b"LANGPCK2", 1, entries))

    # Request, system tag, then a tag and a native name per pack.
    for i, texts in enumerate([["de", "en-us", "de-DE", "Deutsch", "en", "English"],
                               ["francais", "fr-fr", "fr", "Français", "x-custom", "Custom"],
                               ["zh-Hant-TW", "zh-cn", "zh-Hant", "中文(繁體)", "zh", "中文"],
                               ["", "", "", "english"]]):
        write(out, "pack_choice", f"request{i}", b"\0\0".join(utf16(t) for t in texts))

    for i, line in enumerate(['"C:\\Program Files\\Ordavia\\OrdaviaStudio.exe" -datacd "C:\\Temp\\list 1.txt"',
                              "OrdaviaStudio.exe -autoplay -selectdrive E: -copy",
                              "OrdaviaStudio.exe -open \"D:\\My Projects\\disc.brv\"",
                              '"C:\\a b\\x.exe"\t-audiocd  "list.txt"  ""  "unclosed']):
        write(out, "command_line", f"line{i}", utf16(line))

    paths = ["C:\\Music\\track 1.wav", "  D:\\Data\\folder\\  ", "", "\\\\server\\share\\file.txt"]
    write(out, "list_file", "little_endian.txt", b"\xff\xfe" + utf16("\r\n".join(paths)))
    write(out, "list_file", "big_endian.txt", b"\xfe\xff" + "\n".join(paths).encode("utf-16-be"))
    write(out, "list_file", "nul_inside.txt", b"\xff\xfe" + utf16("C:\\a.wav\n\0C:\\b.wav") + b"\x01")

    for i, (request, pack) in enumerate([("de", "de-DE"), ("de-DE", "de"), ("x-custom-AT", "X-CUSTOM"),
                                         ("", ""), ("zh-Hant-TW", "zh-hant")]):
        write(out, "language_tag", f"pair{i}", utf16(request) + b"\0\0" + utf16(pack))

    for i, text in enumerate(["http://user:pw@example.org:8080/a/./b/../c?q=1#top", "file:///C:/Program%20Files/x.txt",
                              "relative/path", "mailto:someone@example.org", "//host/share/dir/"]):
        write(out, "uri_parse", f"uri{i}", text.encode())

    # Format text, a zero, then per argument one type byte and its value (see string_format.cpp).
    write(out, "string_format", "ints", b"%d and %u of %lld\0" + b"\x00" + struct.pack("<i", -5)
          + b"\x01" + struct.pack("<I", 7) + b"\x02" + struct.pack("<q", 1 << 40))
    write(out, "string_format", "widths", b"[%*.*f] %-8s %c %%\0" + b"\x00" + struct.pack("<i", 10)
          + b"\x00" + struct.pack("<i", 3) + b"\x04" + struct.pack("<d", 3.14159) + b"\x06" + b"abc"
          + b"\x05" + struct.pack("<I", 0xE9))
    write(out, "string_format", "hex", b"%08X %x %o %e %g\0" + b"\x01" + struct.pack("<I", 0xBEEF)
          + b"\x03" + struct.pack("<Q", 255) + b"\x01" + struct.pack("<I", 8) + b"\x04" + struct.pack("<d", 1e-300)
          + b"\x04" + struct.pack("<d", 2.5))

    text = "Brenn-Ordner – Größe: 4,7 GB ✓ 𝄞"
    write(out, "char_encoding", "utf8", b"\x00" + text.encode("utf-8"))
    write(out, "char_encoding", "utf16", b"\x01" + text.encode("utf-16-le"))
    write(out, "char_encoding", "utf32", b"\x02" + text.encode("utf-32-le"))
    write(out, "char_encoding", "latin1", b"\x03" + "Größe".encode("latin-1"))
    write(out, "char_encoding", "codepage", b"\x04" + b"plain text \xe4\xf6")
    write(out, "char_encoding", "utf8_broken", b"\x00" + b"\xc3\x28\xe2\x82\xf0\x9f\x98")

    key = "HKEY_CURRENT_USER\\Software\\Ordavia\\Fuzz"
    unicode_reg = ("Windows Registry Editor Version 5.00\r\n\r\n[" + key + "]\r\n\"Name\"=\"Value\"\r\n\r\n[" + key
                   + "\\Sub]\r\n\"N\"=dword:00000001\r\n\r\n[-" + key + "\\Old]\r\n")
    write(out, "registry_check", "unicode.reg", b"\x03" + b"\xff\xfe" + unicode_reg.encode("utf-16-le"))
    ansi_reg = "REGEDIT4\r\n\r\n[" + key + "]\r\n\"Name\"=\"Value\"\r\n"
    write(out, "registry_check", "ansi.reg", b"\x00" + ansi_reg.encode("latin-1"))
    outside = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Other]\r\n\"N\"=\"V\"\r\n"
    write(out, "registry_check", "outside.reg", b"\x07" + outside.encode("latin-1"))

    kapp_seeds(out)


def description_xml():
    """A description as the portable manager writes it: a registry section, a folder with its
    files and a file item."""
    return ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<appmanager version=\"1\">\n"
            " <regentry_user type=\"2\" name=\"HKEY_CURRENT_USER\\Software\\Ordavia\" destination=\"regsection.1.reg\"/>\n"
            " <regentry_user type=\"1\" name=\"C:\\data\\\" available=\"true\">\n"
            "  <regentry_user destination=\"C:\\data\\a.txt\" type=\"0\" available=\"true\"/>\n"
            "  <regentry_user destination=\"C:\\data\\sub\\b.txt\" type=\"0\" available=\"TRUE\"/>\n"
            " </regentry_user>\n"
            " <regentry_init type=\"0\" name=\"C:\\Users\\Me\\settings.ini\" destination=\"file.3.dat\" available=\"false\"/>\n"
            "</appmanager>\n").encode("utf-8")


def store(entries, method=zipfile.ZIP_DEFLATED):
    """A data store archive before scrambling (the target scrambles it as it writes it)."""
    plain = io.BytesIO()
    with zipfile.ZipFile(plain, "w", method) as archive:
        for name, data in entries:
            info = zipfile.ZipInfo(name, date_time=(2010, 1, 1, 0, 0, 0))
            info.compress_type = method
            archive.writestr(info, data)
    return plain.getvalue()


def kapp_seeds(out):
    description = description_xml()
    write(out, "description", "portable.xml", description)
    write(out, "description", "utf16.xml", "<?xml version=\"1.0\" encoding=\"UTF-16\"?><appmanager><regentry_user "
          "type=\"x\" name=\"\\\\server\\share\\\"/></appmanager>".encode("utf-16"))
    reg = ("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Ordavia]\r\n"
           "\"Name\"=\"Value\"\r\n").encode("utf-16")
    write(out, "zip_store", "store.db", store([("@@portable@@_description.xml", description),
                                               ("regsection.1.reg", reg), ("C/data/a.txt", b"hello\n"),
                                               ("C/data/sub/", b"")]))
    write(out, "zip_store", "stored.db", store([("@@portable@@_description.xml", description),
                                                ("file.3.dat", b"\0" * 300)], zipfile.ZIP_STORED))
    write(out, "zip_store", "empty.db", store([]))

    for i, texts in enumerate([["C:\\data\\sub\\a.txt", "C:\\data\\", "a.txt"],
                               ["\\\\?\\UNC\\server\\share\\x", "\\\\server\\share", "nul.txt"],
                               ["c:/Data/../x", "C:\\DATA", "a:b"],
                               ["\\\\?\\C:\\long\\path\\", "\\\\.\\C:", "com\u00b9"]]):
        write(out, "safe_paths", f"paths{i}", b"\0\0".join(utf16(t) for t in texts))


if __name__ == "__main__":
    main()
