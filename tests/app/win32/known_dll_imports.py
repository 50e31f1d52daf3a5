#!/usr/bin/env python3
"""Reads the import tables of Windows programs with mingw-w64's objdump and fails when a program
imports, at start-up, a DLL that is not one of the system's KnownDLLs. Such a DLL is looked for in
the program's own folder first, so a file of that name dropped beside the program (in a Downloads
folder) runs inside it. DLLs imported on first use (mingw-w64's delay-load import libraries, which
objdump does not list) are not in this table: the programs restrict the search to the system
folder before any of them loads.

Usage: known_dll_imports.py OBJDUMP PROGRAM.exe...
"""
import subprocess
import sys

# The values of HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\KnownDLLs on stock 64-bit
# Windows 10 (22H2) and Windows 11 (23H2) installs, lower case, without the DllDirectory entries and
# the WOW64 and ARM emulation libraries (_wow64cpu, _wowarmhw, _xtajit, wow64, wow64win), which no
# 64-bit program imports. ntdll.dll is not listed there but is mapped into every process by the
# kernel before any other DLL, so it is never searched for.
KNOWN_DLLS = {
    "advapi32.dll", "clbcatq.dll", "combase.dll", "comdlg32.dll", "coml2.dll", "difxapi.dll",
    "gdi32.dll", "gdiplus.dll", "imagehlp.dll", "imm32.dll", "kernel32.dll", "msctf.dll",
    "msvcrt.dll", "normaliz.dll", "nsi.dll", "ole32.dll", "oleaut32.dll", "psapi.dll",
    "rpcrt4.dll", "sechost.dll", "setupapi.dll", "shcore.dll", "shell32.dll", "shlwapi.dll",
    "user32.dll", "wldap32.dll", "ws2_32.dll", "ntdll.dll",
}


def imported_dlls(objdump, program):
    """The DLLs of the start-up import table."""
    out = subprocess.run([objdump, "-p", program], check=True, capture_output=True, text=True).stdout
    static, in_table = [], False
    for line in out.splitlines():
        if line.startswith("The Import Tables"):
            in_table = True
        elif line and not line[0].isspace():
            in_table = False
        stripped = line.strip()
        if in_table and stripped.startswith("DLL Name:"):
            static.append(stripped.split(":", 1)[1].strip())
    return static


def main():
    objdump, programs = sys.argv[1], sys.argv[2:]
    failed = False
    for program in programs:
        static = imported_dlls(objdump, program)
        if not static:
            print(f"{program}: no import table read", file=sys.stderr)
            failed = True
            continue
        outside = sorted(d for d in static if d.lower() not in KNOWN_DLLS)
        print(f"{program}: imports at start-up {', '.join(static)}")
        if outside:
            print(f"{program}: imports at start-up DLLs that are no KnownDLLs: {', '.join(outside)}",
                  file=sys.stderr)
            failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
