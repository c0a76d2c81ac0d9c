#!/usr/bin/env python3
"""The application manifest of every executable in one flavour's dist folder, read from the
files themselves, so that a flavour this machine cannot run is checked as well.

    program_manifest_test.py <dist folder> <pointer size: 4 or 8>
"""
import os
import struct
import sys
import unittest
import xml.etree.ElementTree as ET

EXECUTABLES = ("OrdaviaStudio.exe", "brvstore.exe")
MACHINES = {4: 0x014C, 8: 0x8664}  # i386, x86-64
RT_BITMAP, RT_VERSION, RT_MANIFEST = 2, 16, 24
CREATEPROCESS_MANIFEST_RESOURCE_ID = 1

SUPPORTED_OS = {
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}",  # Vista
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  # 7
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  # 8
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  # 8.1
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  # 10 and 11
}


class PeError(Exception):
    pass


class PeImage:
    """The machine and the resources of a PE file; every read is checked against the file."""

    def __init__(self, data):
        self.data = data
        if self.read("<2s", 0)[0] != b"MZ":
            raise PeError("no MZ header")
        pe = self.read("<I", 0x3C)[0]
        if self.read("<4s", pe)[0] != b"PE\0\0":
            raise PeError("no PE signature")
        self.machine, sections, _, _, _, optional_size, _ = self.read("<HHIIIHH", pe + 4)
        optional = pe + 24
        magic = self.read("<H", optional)[0]
        directories = {0x10B: 96, 0x20B: 112}.get(magic)
        if directories is None:
            raise PeError("unknown optional header 0x%x" % magic)
        count = self.read("<I", optional + directories - 4)[0]
        self.resource_rva = self.read("<I", optional + directories + 2 * 8)[0] if count > 2 else 0
        self.sections = []
        for i in range(sections):
            _, virtual_size, rva, raw_size, raw_offset = self.read("<8sIIII", optional + optional_size + 40 * i)
            self.sections.append((rva, max(virtual_size, raw_size), raw_offset, raw_size))

    def read(self, fmt, offset):
        if offset < 0 or offset + struct.calcsize(fmt) > len(self.data):
            raise PeError("%d bytes at %d lie beyond the file's %d" % (struct.calcsize(fmt), offset, len(self.data)))
        return struct.unpack_from(fmt, self.data, offset)

    def offset(self, rva, size):
        for start, length, raw_offset, raw_size in self.sections:
            if start <= rva and rva + size <= start + min(length, raw_size):
                return raw_offset + rva - start
        raise PeError("%d bytes at address 0x%x lie in no section" % (size, rva))

    def directory(self, rva):
        """The entries of one resource directory: (id or name, is a directory, offset in the tree)."""
        base = self.offset(self.resource_rva, 16)
        _, _, _, _, named, numbered = self.read("<IIHHHH", base + rva)
        entries = []
        for i in range(named + numbered):
            name, target = self.read("<II", base + rva + 16 + 8 * i)
            entries.append((name if not name & 0x80000000 else None, bool(target & 0x80000000), target & 0x7FFFFFFF))
        return entries

    def resources(self, type_id):
        """{(name id, language): bytes} of one numbered resource type."""
        found = {}
        if not self.resource_rva:
            return found
        base_rva = self.resource_rva
        for kind, is_dir, names in self.directory(0):
            if kind != type_id or not is_dir:
                continue
            for name, is_dir, languages in self.directory(names):
                if not is_dir:
                    raise PeError("resource without a language level")
                for language, is_dir, leaf in self.directory(languages):
                    if is_dir:
                        raise PeError("resource language is a directory")
                    rva, size, _, _ = self.read("<IIII", self.offset(base_rva + leaf, 16))
                    start = self.offset(rva, size)
                    found[(name, language)] = self.data[start:start + size]
        return found


def local(tag):
    return tag.rsplit("}", 1)[-1]


class ShippedExecutablesCarryTheManifest(unittest.TestCase):
    dist = None
    pointer_size = None

    def image(self, name):
        path = os.path.join(self.dist, name)
        with open(path, "rb") as f:
            return PeImage(f.read())

    def manifest(self, name):
        image = self.image(name)
        manifests = image.resources(RT_MANIFEST)
        self.assertEqual([CREATEPROCESS_MANIFEST_RESOURCE_ID], [n for n, _ in manifests],
                         "%s: manifest resources %s" % (name, sorted(manifests)))
        return ET.fromstring(next(iter(manifests.values())))

    def test_files_are_of_this_flavour(self):
        for name in EXECUTABLES:
            with self.subTest(name):
                self.assertEqual(MACHINES[self.pointer_size], self.image(name).machine)

    def test_reader_finds_the_programs_other_resources(self):
        # A reader that walked the tree wrongly would report every manifest missing.
        image = self.image("OrdaviaStudio.exe")
        self.assertEqual([(1, 0x409)], list(image.resources(RT_VERSION)))
        self.assertIn(104, [n for n, _ in image.resources(RT_BITMAP)])

    def test_manifest(self):
        for name in EXECUTABLES:
            with self.subTest(name):
                root = self.manifest(name)
                self.assertEqual("{urn:schemas-microsoft-com:asm.v1}assembly", root.tag)
                self.assertEqual("1.0", root.get("manifestVersion"))
                elements = list(root.iter())

                controls = [e.attrib for e in elements if local(e.tag) == "assemblyIdentity"
                            and e.get("name") == "Microsoft.Windows.Common-Controls"]
                self.assertEqual([{"type": "win32", "name": "Microsoft.Windows.Common-Controls",
                                   "version": "6.0.0.0", "processorArchitecture": "*",
                                   "publicKeyToken": "6595b64144ccf1df", "language": "*"}], controls)

                levels = [e.attrib for e in elements if local(e.tag) == "requestedExecutionLevel"]
                self.assertEqual([{"level": "asInvoker", "uiAccess": "false"}], levels)

                systems = [e.get("Id") for e in elements if local(e.tag) == "supportedOS"]
                self.assertEqual(len(systems), len(set(systems)))
                self.assertEqual(SUPPORTED_OS, set(systems))

                # The engine's windows are drawn for the system's scaling: the process stays unaware.
                dpi = [local(e.tag) for e in elements if local(e.tag).lower().startswith("dpiaware")]
                self.assertEqual([], dpi)


if __name__ == "__main__":
    ShippedExecutablesCarryTheManifest.dist = sys.argv[1]
    ShippedExecutablesCarryTheManifest.pointer_size = int(sys.argv[2])
    unittest.main(argv=sys.argv[:1], verbosity=2)
