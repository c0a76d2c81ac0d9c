#!/usr/bin/env python3
"""Reads the import, delayed-import and export tables of Windows programs and libraries.

    pe_imports.py check <system dll folder> <module>...   every imported name resolves
    pe_imports.py dump <module>                           the tables, one line per name

`check` looks each imported library up beside the module first (the program's own companion
libraries), then in the system folder (the flavour's Windows libraries), and each name in
that library's export table. A delayed import is checked like a load-time one, and its table
as the loader's helper will read it: the descriptor's addresses, and each slot of its address
table, which until the first call must lead to the module's own code that loads the library.
It reads the files only, so it checks a 32-bit module where 32-bit code cannot run. Exit 0
when everything resolves, 1 with one line per fault otherwise.
"""
import os
import struct
import sys


class PeError(Exception):
    pass


class Pe:
    def __init__(self, path):
        self.path = path
        with open(path, 'rb') as f:
            self.data = f.read()
        d = self.data
        if d[:2] != b'MZ' or len(d) < 0x40:
            raise PeError(f'{path}: not a Windows module')
        pe = struct.unpack_from('<I', d, 0x3C)[0]
        if d[pe:pe + 4] != b'PE\0\0':
            raise PeError(f'{path}: no PE header')
        self.machine, nsections, _, _, _, opt_size, self.characteristics = struct.unpack_from('<HHIIIHH', d, pe + 4)
        opt = pe + 24
        magic = struct.unpack_from('<H', d, opt)[0]
        if magic == 0x10B:
            self.wide = False
            self.image_base = struct.unpack_from('<I', d, opt + 28)[0]
            dirs = opt + 96
        elif magic == 0x20B:
            self.wide = True
            self.image_base = struct.unpack_from('<Q', d, opt + 24)[0]
            dirs = opt + 112
        else:
            raise PeError(f'{path}: unknown optional header {magic:#x}')
        ndirs = struct.unpack_from('<I', d, dirs - 4)[0]
        self.dirs = [struct.unpack_from('<II', d, dirs + 8 * i) if i < ndirs else (0, 0) for i in range(16)]
        self.sections = []
        for i in range(nsections):
            s = opt + opt_size + 40 * i
            name = d[s:s + 8].rstrip(b'\0').decode('latin-1')
            vsize, va, rawsize, raw = struct.unpack_from('<IIII', d, s + 8)
            flags = struct.unpack_from('<I', d, s + 36)[0]
            self.sections.append((name, va, max(vsize, rawsize), raw, rawsize, flags))
        self.size_of_image = struct.unpack_from('<I', d, opt + 56)[0]

    @property
    def bits(self):
        return 64 if self.wide else 32

    def section_of(self, rva):
        for s in self.sections:
            if s[1] <= rva < s[1] + s[2]:
                return s
        return None

    def offset(self, rva):
        s = self.section_of(rva)
        if s is None or rva - s[1] >= s[4]:
            raise PeError(f'{self.path}: address {rva:#x} lies in no stored section')
        return s[3] + rva - s[1]

    def u32(self, rva):
        return struct.unpack_from('<I', self.data, self.offset(rva))[0]

    def pointer(self, rva):
        return struct.unpack_from('<Q' if self.wide else '<I', self.data, self.offset(rva))[0]

    def cstring(self, rva):
        o = self.offset(rva)
        end = self.data.index(b'\0', o)
        return self.data[o:end].decode('latin-1')

    def exports(self):
        rva, size = self.dirs[0]
        if not rva:
            return set()
        nnames, _, names = struct.unpack_from('<III', self.data, self.offset(rva) + 24)
        return {self.cstring(self.u32(names + 4 * i)) for i in range(nnames)}

    def _thunks(self, rva):
        """The names (or '#ordinal') of a null-ended thunk table."""
        step = 8 if self.wide else 4
        ordinal_flag = 1 << (63 if self.wide else 31)
        while True:
            value = self.pointer(rva)
            if value == 0:
                return
            if value & ordinal_flag:
                yield f'#{value & 0xFFFF}'
            else:
                yield self.cstring((value & 0x7FFFFFFF) + 2)
            rva += step

    def imports(self):
        """(library, [names]) for each load-time import."""
        rva, size = self.dirs[1]
        result = []
        while rva and size:
            lookup, _, _, name, first = struct.unpack_from('<IIIII', self.data, self.offset(rva))
            if name == 0:
                break
            result.append((self.cstring(name), list(self._thunks(lookup or first))))
            rva += 20
        return result

    def _delay_descriptors(self):
        """The offsets of the delayed-import descriptors. The GNU linker fills the directory
        entry for them in neither flavour, so without it they are found by what they hold: the
        offset (or address) of a library's name that ends in ".dll", beside offsets that lie in
        the image and zeros where nothing is bound."""
        rva, size = self.dirs[13]
        if rva and size:
            while True:
                if struct.unpack_from('<I', self.data, self.offset(rva) + 4)[0] == 0:
                    return
                yield rva
                rva += 32
        d = self.data
        lower = d.lower()
        seen = set()
        at = lower.find(b'.dll\0')
        while at >= 0:
            start = at
            while start > 0 and 0x21 <= d[start - 1] < 0x7F:
                start -= 1
            at = lower.find(b'.dll\0', at + 1)
            section = next((s for s in self.sections if s[3] <= start < s[3] + s[4]), None)
            if section is None:
                continue
            name_rva = section[1] + start - section[3]
            for attrs, value in ((1, name_rva), (0, name_rva + self.image_base)):
                if value >= 1 << 32:
                    continue
                pattern = struct.pack('<II', attrs, value)
                hit = d.find(pattern)
                while hit >= 0:
                    fields = struct.unpack_from('<8I', d, hit) if hit + 32 <= len(d) else None
                    base = 0 if attrs else self.image_base
                    if fields and all(0 < f - base < self.size_of_image for f in fields[2:5]) and fields[5:7] == (0, 0):
                        sec = next((s for s in self.sections if s[3] <= hit < s[3] + s[4]), None)
                        if sec is not None:
                            desc = sec[1] + hit - sec[3]
                            if desc not in seen:
                                seen.add(desc)
                                yield desc
                    hit = d.find(pattern, hit + 1)

    def delay_imports(self):
        """(library, [names], [faults]) for each delayed import."""
        result = []
        step = 8 if self.wide else 4
        for rva in self._delay_descriptors():
            attrs, name, handle, iat, names, bound, unload, stamp = struct.unpack_from('<8I', self.data, self.offset(rva))
            faults = []
            if not attrs & 1:
                # An old-style table holds addresses instead of offsets; the helper refuses it.
                faults.append(f'descriptor holds addresses (attributes {attrs:#x}), not offsets')
                base = self.image_base
                name, handle, iat, names = (x - base if x else 0 for x in (name, handle, iat, names))
            library = self.cstring(name)
            listed = list(self._thunks(names))
            for i, function in enumerate(listed):
                slot = self.pointer(iat + step * i)
                target = slot - self.image_base
                section = self.section_of(target) if 0 <= target < self.size_of_image else None
                if section is None or not section[5] & 0x20000000:  # IMAGE_SCN_MEM_EXECUTE
                    faults.append(f'{function}: address slot holds {slot:#x}, not the module\'s own loading code')
            result.append((library, listed, faults))
        return result


def find_library(name, module_dir, system_dir):
    for folder in (module_dir, system_dir):
        try:
            entries = os.listdir(folder)
        except OSError:
            continue
        for entry in entries:
            if entry.lower() == name.lower():
                return os.path.join(folder, entry)
    return None


def check(system_dir, modules):
    faults = []
    cache = {}
    for path in modules:
        pe = Pe(path)
        module = os.path.basename(path)
        tables = [(lib, names, [], 'imports') for lib, names in pe.imports()]
        tables += [(lib, names, f, 'delay-imports') for lib, names, f in pe.delay_imports()]
        for library, names, table_faults, kind in tables:
            for fault in table_faults:
                faults.append(f'{module} ({pe.bits}-bit) {kind} {library}: {fault}')
            found = find_library(library, os.path.dirname(path), system_dir)
            if found is None:
                faults.append(f'{module} ({pe.bits}-bit) {kind} {library}: library not found')
                continue
            if found not in cache:
                exporter = Pe(found)
                if exporter.machine != pe.machine:
                    faults.append(f'{module} ({pe.bits}-bit) {kind} {library}: {found} is of another machine')
                cache[found] = exporter.exports()
            for name in names:
                if not name.startswith('#') and name not in cache[found]:
                    faults.append(f'{module} ({pe.bits}-bit) {kind} {library}!{name}: not exported by {found}')
    return faults


def main(argv):
    if len(argv) >= 3 and argv[1] == 'dump':
        pe = Pe(argv[2])
        for lib, names in pe.imports():
            for n in names:
                print(f'import {lib}!{n}')
        for lib, names, faults in pe.delay_imports():
            for n in names:
                print(f'delay {lib}!{n}')
            for f in faults:
                print(f'fault {lib}: {f}')
        return 0
    if len(argv) >= 4 and argv[1] == 'check':
        system_dir, modules = argv[2], argv[3:]
        if not os.path.isdir(system_dir):
            print(f'no system library folder {system_dir}')
            return 1
        try:
            faults = check(system_dir, modules)
        except (PeError, OSError, struct.error, ValueError) as e:
            print(f'unreadable: {e}')
            return 1
        for f in faults:
            print(f)
        print(f'{len(modules)} modules checked against {system_dir}: {len(faults)} unresolved')
        return 1 if faults else 0
    print(__doc__)
    return 2


if __name__ == '__main__':
    sys.exit(main(sys.argv))
