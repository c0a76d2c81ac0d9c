#!/usr/bin/env python3
"""Writes the content of the portable edition's initial archive into a folder:

    description.xml    section "regentry_init" with one registry item per settings root
    regsection.1.reg   HKEY_CURRENT_USER\\Software\\<key>: the user's defaults (the key alone;
                       the program starts with its built-in defaults)
    regsection.2.reg   HKEY_LOCAL_MACHINE\\Software\\<key>: the product values

The product values are those the installer writes to HKLM, read from installer/OrdaviaStudio.wxs
(every value of a RegistryKey under the product's key whose text needs no installer property),
with the installer's variables filled as tools/make_installer.py fills them. So the installed
and the portable edition cannot disagree about them.

Usage: portable_init.py OUTPUT_FOLDER
"""
import os
import re
import sys
import xml.etree.ElementTree as ET

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, HERE)
import make_installer  # noqa: E402

WXS = os.path.join(ROOT, "installer", "OrdaviaStudio.wxs")
NS = {"wix": "http://schemas.microsoft.com/wix/2006/wi"}
# The program registers both roots under "Software\" + its registry key, and the data manager
# matches items by that exact name.
PRODUCT_KEY = "SOFTWARE\\brenvalo\\Brenvalo Ordavia 2010 Advanced"
SETTINGS_PATH = "Software\\" + PRODUCT_KEY.split("\\", 1)[1]
SECTION = "regentry_init"


class Failure(Exception):
    pass


def installer_variables():
    version, build_number = make_installer.read_version(os.path.join(ROOT, "app", "Resources.rc"))
    return {"Version": version, "ProductVersionText": ".".join(version.split(".")[:3]), "BuildNumber": build_number}


def product_values(wxs_path=WXS):
    """[(name, "string" | "integer", value)] of the product's key under HKLM, in the order the
    installer lists them."""
    variables = installer_variables()

    def fill(text):
        def one(match):
            if match.group(1) not in variables:
                raise Failure(f"{wxs_path}: variable $(var.{match.group(1)}) has no value here")
            return variables[match.group(1)]
        return re.sub(r"\$\(var\.([A-Za-z0-9_]+)\)", one, text)

    values = []
    tree = ET.parse(wxs_path)
    for key in tree.getroot().iter("{%s}RegistryKey" % NS["wix"]):
        if key.get("Root") != "HKLM" or key.get("Key", "").lower() != PRODUCT_KEY.lower():
            continue
        for value in key.findall("wix:RegistryValue", NS):
            name, kind, text = value.get("Name"), value.get("Type"), value.get("Value", "")
            if value.get("Key") or name is None:
                continue
            if re.search(r"\[[^\]]*\]", text):
                continue  # an installer property: nothing to write without it
            if kind not in ("string", "integer"):
                raise Failure(f"{wxs_path}: value {name} has type {kind}, which has no registry-file form here")
            values.append((name, kind, fill(text)))
    if not values:
        raise Failure(f"{wxs_path}: no product values under HKLM\\{PRODUCT_KEY}")
    return values


def reg_string(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def registry_file(key, values):
    """The registry editor's Unicode form: UTF-16 LE with its mark, CR LF lines."""
    lines = ["Windows Registry Editor Version 5.00", "", f"[{key}]"]
    for name, kind, text in values:
        if kind == "integer":
            number = int(text, 0)
            if not 0 <= number <= 0xFFFFFFFF:
                raise Failure(f"value {name}: {text} does not fit a DWORD")
            lines.append(f"{reg_string(name)}=dword:{number:08x}")
        else:
            lines.append(f"{reg_string(name)}={reg_string(text)}")
    lines += ["", ""]
    return b"\xff\xfe" + "\r\n".join(lines).encode("utf-16-le")


def description(items):
    root = ET.Element("appmanager", {"version": "1"})
    root.text = "\n"
    for name, destination in items:
        item = ET.SubElement(root, SECTION, {"type": "2", "name": name, "destination": destination})
        item.tail = "\n"
    return b'<?xml version="1.0" encoding="UTF-8"?>\n' + ET.tostring(root, encoding="utf-8") + b"\n"


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    user_key = "HKEY_CURRENT_USER\\" + SETTINGS_PATH
    machine_key = "HKEY_LOCAL_MACHINE\\" + SETTINGS_PATH
    files = {"regsection.1.reg": registry_file(user_key, []),
             "regsection.2.reg": registry_file(machine_key, product_values()),
             "description.xml": description([(user_key, "regsection.1.reg"), (machine_key, "regsection.2.reg")])}
    for name, data in files.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    try:
        main()
    except (Failure, make_installer.Failure, ET.ParseError, OSError) as e:
        sys.exit(f"portable_init: {e}")
