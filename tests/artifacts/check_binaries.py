#!/usr/bin/env python3
"""Checks the shipped Windows binaries without running them, from objdump's
view of their headers, export and import tables.

usage: check_binaries.py OBJDUMP ARCH BIN_DIR [CONSUMER.exe ...]

Shipped: crt.dll, LogError.dll and logtool.exe. Consumers are programs linked
against a shipped import library; each must import LogError.dll's functions by
their plain names.
"""
import re
import subprocess
import sys
import zlib
from pathlib import Path

FORMATS = {"i686": "pei-i386", "x86_64": "pei-x86-64"}
LOGERROR_EXPORTS = {"LogError", "LogWarning", "LogException", "DllGetClassObject", "DllCanUnloadNow"}
CRT_ORDINALS = {27, 29, 34, 37, 46, 51, 56, 64, 65, 68, 73, 101}
# Windows' own libraries, and ours; a compiler runtime DLL is never among them.
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "advapi32.dll", "ole32.dll", "oleaut32.dll",
               "shlwapi.dll", "psapi.dll", "version.dll", "msvcrt.dll", "shell32.dll",
               "winhttp.dll", "rpcrt4.dll", "bcrypt.dll", "crypt32.dll", "ws2_32.dll"}
OUR_DLLS = {"crt.dll", "logerror.dll"}
DYNAMIC_BASE, NX_COMPAT, HIGH_ENTROPY_VA = 0x40, 0x100, 0x20

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def headers(objdump, path):
    return subprocess.run([objdump, "-p", str(path)], check=True, capture_output=True,
                          text=True).stdout


def imports(text):
    """{dll (lower case): [(ordinal or None, name or None)]}"""
    result, current = {}, None
    for line in text.splitlines():
        match = re.match(r"\s*DLL Name: (\S+)", line)
        if match:
            current = result.setdefault(match.group(1).lower(), [])
            continue
        if current is None:
            continue
        # The first column is the lookup entry: its top bit marks an import
        # by ordinal (in its low 16 bits); otherwise the name column holds it.
        entry = re.match(r"\s+([0-9a-f]+)\s+\S+\s+(\S+)", line)
        if entry:
            digits, lookup = len(entry.group(1)), int(entry.group(1), 16)
            if digits in (8, 16) and lookup >> (digits * 4 - 1):
                current.append((lookup & 0xFFFF, None))
            else:
                current.append((None, entry.group(2)))
        elif not line.strip():
            current = None
    return result


def exports(text):
    """(named exports, ordinals of the export address table)"""
    names = set(re.findall(r"^\s+\[\s*\d+\] (\S+)\s*$",
                           text.split("[Ordinal/Name Pointer] Table")[-1].split("\n\n")[0],
                           re.M)) if "[Ordinal/Name Pointer] Table" in text else set()
    ordinals = {int(n) for n in re.findall(r"\+base\[\s*(\d+)\]", text)}
    return names, ordinals


def check_debug_link(path):
    data = path.read_bytes()
    dump = subprocess.run([OBJDUMP, "-s", "-j", ".gnu_debuglink", str(path)],
                          capture_output=True, text=True).stdout
    # Lines of " address" then 35 columns of hex words, then the text.
    section = bytes.fromhex("".join(
        line[1:].split(" ", 1)[1][:35].replace(" ", "")
        for line in dump.splitlines() if re.match(r"^ [0-9a-f]+ [0-9a-f]", line)))
    check(len(section) >= 8, f"{path.name}: no debug link")
    if len(section) < 8:
        return
    name = section.split(b"\0", 1)[0].decode()
    crc = int.from_bytes(section[-4:], "little")
    debug_file = path.with_name(name)
    check(debug_file.exists(), f"{path.name}: debug file {name} missing")
    if debug_file.exists():
        check(zlib.crc32(debug_file.read_bytes()) == crc, f"{path.name}: debug link CRC mismatch")
    check(b".debug_info" not in data, f"{path.name}: not stripped")


def check_shipped(arch, bin_dir):
    for file in ("crt.dll", "LogError.dll", "logtool.exe"):
        path = bin_dir / file
        text = headers(OBJDUMP, path)
        check(f"file format {FORMATS[arch]}" in text, f"{file}: not {FORMATS[arch]}")
        flags = int(re.search(r"DllCharacteristics\s+([0-9a-f]+)", text).group(1), 16)
        wanted = DYNAMIC_BASE | NX_COMPAT | (HIGH_ENTROPY_VA if arch == "x86_64" else 0)
        check(flags & wanted == wanted, f"{file}: DllCharacteristics {flags:#x} lacks {wanted:#x}")
        foreign = set(imports(text)) - SYSTEM_DLLS - OUR_DLLS
        check(not foreign, f"{file}: imports {sorted(foreign)}")
        check_debug_link(path)
        if file == "LogError.dll":
            names, _ = exports(text)
            check(names == LOGERROR_EXPORTS, f"LogError.dll exports {sorted(names)}")
            crt = imports(text).get("crt.dll", [])
            check(crt and all(name is None for _, name in crt),
                  f"LogError.dll imports from crt.dll by name: {crt}")
            check({ordinal for ordinal, _ in crt} <= CRT_ORDINALS,
                  f"LogError.dll imports unknown crt ordinals {crt}")
        if file == "crt.dll":
            names, ordinals = exports(text)
            check(not names, f"crt.dll exports names {sorted(names)}")
            check(ordinals == CRT_ORDINALS, f"crt.dll exports ordinals {sorted(ordinals)}")


def check_consumer(path):
    entries = imports(headers(OBJDUMP, path)).get("logerror.dll", [])
    names = {name for _, name in entries}
    check(names and names <= LOGERROR_EXPORTS,
          f"{path.name}: imports from LogError.dll {sorted(map(str, names))}, "
          "not plain export names")


if __name__ == "__main__":
    OBJDUMP, arch, bin_dir = sys.argv[1], sys.argv[2], Path(sys.argv[3])
    check_shipped(arch, bin_dir)
    for consumer in sys.argv[4:]:
        check_consumer(Path(consumer))
    for failure in failures:
        print("FAIL:", failure)
    print(f"{'failed' if failures else 'ok'}: shipped {arch} binaries and "
          f"{len(sys.argv) - 4} consumer(s) checked")
    sys.exit(1 if failures else 0)
