#!/usr/bin/env bash
# probe32.sh <folder>: exit 0 when this machine runs 32-bit x86 code. Writes a static i386
# program of 92 bytes (exit(0) through int 0x80) into the folder and starts it: a kernel
# without 32-bit emulation refuses it ("Exec format error").
set -u
dir=${1:-/tmp}
bin="$dir/probe32.elf"
python3 - "$bin" <<'PY' 2>/dev/null || exit 1
import struct, sys
base = 0x08048000
code = bytes([0xB8, 1, 0, 0, 0, 0x31, 0xDB, 0xCD, 0x80])      # mov eax,1; xor ebx,ebx; int 0x80
size = 52 + 32 + len(code)
ehdr = b"\x7fELF\x01\x01\x01" + bytes(9) + struct.pack("<HHIIIIIHHHHHH",
       2, 3, 1, base + 84, 52, 0, 0, 52, 32, 1, 0, 0, 0)
phdr = struct.pack("<IIIIIIII", 1, 0, base, base, size, size, 5, 0x1000)
open(sys.argv[1], "wb").write(ehdr + phdr + code)
PY
chmod +x "$bin"
"$bin" 2>/dev/null
