#!/usr/bin/env python3
"""Composes an initial archive at build time, on the build machine: a zip with the description
and the given files (each under its plain file name, as the registry section handler names its
exports), scrambled with the key of the scrambled file streams. The key is read from their
source, so that there is one table only.

    make_init_archive.py <CryptedFileStream.cpp> <description.xml> <init.zip> [file ...]
"""
import os
import io
import re
import sys
import zipfile

DESCRIPTION_ENTRY = "@@portable@@_description.xml"


def read_key(source_path):
    text = open(source_path, encoding="utf-8").read()
    match = re.search(r"kScrambleTable\[\]\s*=\s*((?:\s*\"[^\"]*\")+)\s*;", text)
    if not match:
        sys.exit("make_init_archive: no scramble table in " + source_path)
    table = "".join(re.findall(r"\"([^\"]*)\"", match.group(1)))
    if len(table) != 171 or not all(c.isalnum() or c in "-_." for c in table):
        sys.exit("make_init_archive: the scramble table is not 171 printable characters")
    return table.encode("ascii") + b"\0"


def main():
    if len(sys.argv) < 4:
        sys.exit(__doc__)
    key = read_key(sys.argv[1])
    description = open(sys.argv[2], "rb").read()
    plain = io.BytesIO()
    with zipfile.ZipFile(plain, "w", zipfile.ZIP_DEFLATED) as archive:
        info = zipfile.ZipInfo(DESCRIPTION_ENTRY, date_time=(2010, 1, 1, 0, 0, 0))
        info.compress_type = zipfile.ZIP_DEFLATED
        archive.writestr(info, description)
        for path in sys.argv[4:]:
            info = zipfile.ZipInfo(os.path.basename(path), date_time=(2010, 1, 1, 0, 0, 0))
            info.compress_type = zipfile.ZIP_DEFLATED
            with open(path, "rb") as f:
                archive.writestr(info, f.read())
    data = bytearray(plain.getvalue())
    for offset in range(len(data)):
        data[offset] ^= key[offset % len(key)]
    with open(sys.argv[3], "wb") as out:
        out.write(data)


if __name__ == "__main__":
    main()
