#!/usr/bin/env python3
"""Checks a Windows program's file: a console program for the expected
machine that needs no DLL beyond those every Windows has.

The DLLs allowed are the two a MinGW-w64 program always imports:
KERNEL32.dll, the system itself, and msvcrt.dll, the C runtime shipped with
every Windows since Windows 2000. Everything else the compiler brings
(libgcc, libstdc++, winpthread) must be linked in: a program that needed
libstdc++-6.dll or libwinpthread-1.dll would not start on a machine without
them. Any other system DLL would be allowed by Windows, but the tool needs
none, so one showing up means something changed and is worth a look.
"""

import argparse
import re
import subprocess
import sys

ALLOWED_DLLS = {"kernel32.dll", "msvcrt.dll"}

# objdump's name for each machine's file format, and the optional header's magic.
FORMATS = {
    "x86": ("pei-i386", "010b"),     # PE32, Intel 80386
    "AMD64": ("pei-x86-64", "020b"),  # PE32+, x86-64
}
CONSOLE_SUBSYSTEM = "00000003"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--objdump", required=True)
    parser.add_argument("--machine", required=True, choices=sorted(FORMATS))
    parser.add_argument("program")
    args = parser.parse_args()

    dump = subprocess.run([args.objdump, "-p", args.program], check=True,
                          capture_output=True, text=True).stdout
    file_format, magic = FORMATS[args.machine]
    faults = []

    found = re.search(r"file format (\S+)", dump)
    found_format = found.group(1) if found else None
    if found_format != file_format:
        faults.append("file format %s, expected %s" % (found_format, file_format))
    found = re.search(r"^Magic\s+(\w+)", dump, re.M)
    if not found or found.group(1) != magic:
        faults.append("optional header magic %s, expected %s" % (found and found.group(1), magic))
    found = re.search(r"^Subsystem\s+(\w+)", dump, re.M)
    if not found or found.group(1) != CONSOLE_SUBSYSTEM:
        faults.append("subsystem %s, expected %s (console)"
                      % (found and found.group(1), CONSOLE_SUBSYSTEM))

    dlls = re.findall(r"DLL Name: (\S+)", dump)
    if not dlls:
        faults.append("no imported DLL found: objdump's output changed?")
    for dll in sorted(set(dlls)):
        if dll.lower() not in ALLOWED_DLLS:
            faults.append("needs %s, which not every Windows has" % dll)

    print("%s: %s, imports %s" % (args.program, found_format, ", ".join(sorted(set(dlls)))))
    for fault in faults:
        print("FAULT: " + fault)
    sys.exit(1 if faults else 0)


if __name__ == "__main__":
    main()
