#!/usr/bin/env python3
"""The static check of the Windows builds, run before any Wine: every .exe and .dll of the
win32 and win64 trees must be built for its tree's machine, and each embedded RT_MANIFEST must
name that machine in every processorArchitecture. A 64-bit program whose manifest asks for the
32-bit Common Controls does not start on 64-bit Windows (the loader fails with c000007b).

  pe_manifests.py [FILE...]   checks the files named, else both build trees

Standard library only. Exits 0 when all is well, 1 on a mismatch, 77 (skipped) when no build
tree holds anything to check.
"""

import os
import struct
import sys
import xml.etree.ElementTree as ET
from pathlib import Path

RT_MANIFEST = 24
# Machine field of the PE header -> the processorArchitecture it must carry.
MACHINES = {0x14C: "x86", 0x8664: "amd64"}
TREES = {"win32": 0x14C, "win64": 0x8664}
SKIPPED = 77


class PeError(Exception):
    pass


def read_pe(path):
    """(machine, [manifest bytes...]) of a PE file: its header's machine field and the data of
    each RT_MANIFEST resource, in the order of the resource directory."""
    data = Path(path).read_bytes()
    if data[:2] != b"MZ":
        raise PeError("no MZ header")
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise PeError("no PE signature")
    machine, sections, _, _, _, optional_size, _ = struct.unpack_from("<HHIIIHH", data, pe + 4)
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    directories = optional + {0x10B: 96, 0x20B: 112}.get(magic, -1)
    if directories < optional:
        raise PeError(f"unknown optional header magic {magic:#x}")
    resource_rva, resource_size = struct.unpack_from("<II", data, directories + 2 * 8)
    if resource_rva == 0 or resource_size == 0:
        return machine, []

    table = [struct.unpack_from("<IIII", data, optional + optional_size + 40 * i + 8)
             for i in range(sections)]  # VirtualSize, VirtualAddress, SizeOfRawData, PointerToRawData

    def offset(rva):
        for size, address, raw_size, raw in table:
            if address <= rva < address + max(size, raw_size):
                return raw + rva - address
        raise PeError(f"RVA {rva:#x} lies in no section")

    base = offset(resource_rva)

    def entries(directory):
        named, ids = struct.unpack_from("<HH", data, base + directory + 12)
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", data, base + directory + 16 + 8 * i)
            yield name, target

    manifests = []
    for type_id, names in entries(0):
        if type_id != RT_MANIFEST or not names & 0x80000000:
            continue
        for _, languages in entries(names & 0x7FFFFFFF):
            for _, leaf in entries(languages & 0x7FFFFFFF):
                rva, size = struct.unpack_from("<II", data, base + leaf)
                start = offset(rva)
                manifests.append(data[start:start + size])
    return machine, manifests


def architectures(manifest):
    """[(element, processorArchitecture)] of every assemblyIdentity in a manifest; element is
    "identity" for the file's own, the dependency's name for the others."""
    root = ET.fromstring(manifest)
    found = []
    for element in root.iter():
        if not element.tag.endswith("}assemblyIdentity") and element.tag != "assemblyIdentity":
            continue
        arch = element.get("processorArchitecture")
        if arch is None:
            continue
        own = any(child is element for child in root)
        found.append(("identity" if own else element.get("name", "?"), arch))
    return found


def problems(path, expected_machine=None):
    """What is wrong with one file, as lines (none when it is fine)."""
    path = Path(path)
    try:
        machine, manifests = read_pe(path)
    except (PeError, struct.error, OSError) as error:
        return [f"{path}: not a readable PE file ({error})"]
    out = []
    if expected_machine is not None and machine != expected_machine:
        out.append(f"{path}: machine {machine:#x}, its build tree needs {expected_machine:#x}")
    arch = MACHINES.get(machine)
    if arch is None:
        return out + [f"{path}: unknown machine {machine:#x}"]
    if path.name == "Tapwing.exe" and not manifests:
        out.append(f"{path}: no embedded manifest (tapwing.rc embeds one)")
    for manifest in manifests:
        try:
            found = architectures(manifest)
        except ET.ParseError as error:
            out.append(f"{path}: its manifest is not XML ({error})")
            continue
        for element, value in found:
            # A dependency may say "*": the loader then takes the process's own architecture.
            if value.lower() != arch and not (element != "identity" and value == "*"):
                out.append(f'{path}: machine {machine:#x} ({arch}) but its manifest\'s {element} '
                           f'says processorArchitecture="{value}"')
    return out


def built_files():
    """(file, expected machine) for every program and library in both build trees."""
    root = Path(os.environ.get("TAPWING_BUILD_ROOT") or Path(__file__).resolve().parents[2] / "build")
    for tree, machine in TREES.items():
        for folder in ("Tapwing", "e2e-tools"):
            for path in sorted((root / tree / folder).glob("*")):
                if path.suffix.lower() in (".exe", ".dll"):
                    yield path, machine


def main(argv):
    files = [(Path(a), None) for a in argv] or list(built_files())
    if not files:
        print("pe_manifests: nothing built to check (cmake --build --preset win32 / win64)")
        return SKIPPED
    failures = []
    for path, machine in files:
        lines = problems(path, machine)
        failures += lines
        print(f"{'FAIL' if lines else 'ok  '} {path}")
    for line in failures:
        print(line, file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
