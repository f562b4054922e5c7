#!/usr/bin/env python3
"""Checks shipped Windows binaries, and the release archive, from their bytes
on the Linux side (no Wine): every .exe and .dll carries one VERSIONINFO with
the project's version and its own file name, no time stamp in any PE header
or table, no build folder in its bytes; the plug-ins stay under 16 KiB
stripped; the archive holds the files a player, a stage author and a plug-in
author need, its README.txt files with Windows line ends.

  check_release.py binaries --version V --product P [--forbid TEXT]... FILE...
      The built files (the linker strips them: they are what ships).
  check_release.py archive --version V --product P [--forbid TEXT]... ZIP
      The release archive (scripts/release.sh).
Prints one line per file; exits 1 on any failure.
"""
import argparse
import os
import struct
import sys
import zipfile

PLUGIN_LIMIT = 16 * 1024
RT_VERSION = 16
RT_MANIFEST = 24

# The source tree's own places: the archive's documents serve users who
# have only the archive, so none of them may send a reader there.
SOURCE_TREE_PLACES = [b"scripts/", b"scripts\\", b"build/stages", b"tools/",
                      b"docs/", b"demo.sh", b"test.sh", b"the README "]

# What the archive must hold (more is allowed: the example's other files).
ARCHIVE_FILES = [
    "keyconfig.exe", "stage.dll", "tessel.dll", "README.txt",
    "sdk/README.txt", "sdk/include/stage_plugin.h", "sdk/stagecheck.exe",
    "sdk/stageview.exe", "sdk/stage-authoring.md",
    "sdk/samples/layered/back1.bmp", "sdk/samples/layered/back2.bmp",
    "sdk/samples/layered/back3.bmp", "sdk/samples/single/back1.bmp",
    "sdk/samples/classic/back1.bmp", "sdk/samples/classic/back2.bmp",
    "sdk/samples/classic/back3.bmp",
    "sdk/example/example.c", "sdk/example/example.def",
    "sdk/example/CMakeLists.txt", "sdk/example/README.txt",
]


class Pe:
    """The parts of a PE32 file these checks read."""

    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise ValueError("no MZ header")
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("no PE signature")
        (self.machine, sections, self.time_stamp, self.symbols_at,
         self.symbol_count, optional_size) = struct.unpack_from(
             "<HHIIIH", data, pe + 4)
        optional = pe + 24
        if struct.unpack_from("<H", data, optional)[0] != 0x10B:
            raise ValueError("not PE32")
        directory_count = struct.unpack_from("<I", data, optional + 92)[0]
        self.directories = [
            struct.unpack_from("<II", data, optional + 96 + 8 * i)
            for i in range(directory_count)
        ]
        self.sections = []
        for i in range(sections):
            at = optional + optional_size + 40 * i
            virtual_size, rva, raw_size, raw_at = struct.unpack_from(
                "<IIII", data, at + 8)
            self.sections.append((rva, max(virtual_size, raw_size), raw_at))

    def offset(self, rva):
        for start, size, raw_at in self.sections:
            if start <= rva < start + size:
                return raw_at + rva - start
        raise ValueError("address 0x%x in no section" % rva)

    def directory(self, index):
        rva, size = self.directories[index] if index < len(
            self.directories) else (0, 0)
        return (self.offset(rva), size) if rva else (None, 0)

    def resources(self):
        """{(type, name, language): bytes} and the directories' stamps."""
        root, _ = self.directory(2)
        found, stamps = {}, []

        def walk(at, path):
            stamps.append(struct.unpack_from("<I", self.data, at + 4)[0])
            named, numbered = struct.unpack_from("<HH", self.data, at + 12)
            for i in range(named + numbered):
                key, target = struct.unpack_from("<II", self.data,
                                                 at + 16 + 8 * i)
                if key & 0x80000000:  # a name: counted UTF-16 string
                    name_at = root + (key & 0x7FFFFFFF)
                    length = struct.unpack_from("<H", self.data, name_at)[0]
                    key = self.data[name_at + 2:name_at + 2 + 2 *
                                    length].decode("utf-16-le")
                if target & 0x80000000:
                    walk(root + (target & 0x7FFFFFFF), path + (key,))
                else:
                    rva, size = struct.unpack_from("<II", self.data,
                                                   root + target)
                    start = self.offset(rva)
                    found[path + (key,)] = self.data[start:start + size]

        if root is not None:
            walk(root, ())
        return found, stamps


def version_blocks(data, at=0):
    """One VS_VERSIONINFO-style block: (key, value bytes, children)."""
    length, value_length, kind = struct.unpack_from("<HHH", data, at)
    end = at + length
    key_end = at + 6
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = data[at + 6:key_end].decode("utf-16-le")
    value_at = (key_end + 2 + 3) & ~3
    value_size = value_length * 2 if kind == 1 else value_length
    value = data[value_at:value_at + value_size]
    children = []
    child = (value_at + value_size + 3) & ~3
    while child < end:
        block = version_blocks(data, child)
        children.append(block[:3])
        child = (child + block[3] + 3) & ~3
    return key, value, children, length


def check_version(resources, name, version, product):
    """Problems with the one VERSIONINFO of file `name`."""
    found = [data for key, data in resources.items() if key[0] == RT_VERSION]
    if len(found) != 1:
        return ["%d version resources, not one" % len(found)]
    key, fixed, children, _ = version_blocks(found[0])
    problems = []
    numbers = tuple(int(n) for n in version.split(".")) + (0,)
    if key != "VS_VERSION_INFO" or len(fixed) != 52:
        return ["no VS_FIXEDFILEINFO"]
    file_ms, file_ls, product_ms, product_ls = struct.unpack_from(
        "<IIII", fixed, 8)
    for what, ms, ls in (("file", file_ms, file_ls),
                         ("product", product_ms, product_ls)):
        got = (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
        if got != numbers:
            problems.append("fixed %s version %s, not %s" %
                            (what, got, numbers))
    strings = {}
    for child_key, _, tables in children:
        if child_key == "StringFileInfo":
            for _, _, entries in tables:
                for entry_key, value, _ in entries:
                    strings[entry_key] = value.decode("utf-16-le").rstrip(
                        "\0")
    wanted = {
        "FileVersion": version,
        "ProductVersion": version,
        "ProductName": product,
        "OriginalFilename": name,
    }
    for entry_key, value in wanted.items():
        if strings.get(entry_key) != value:
            problems.append("%s is %r, not %r" %
                            (entry_key, strings.get(entry_key), value))
    if not strings.get("FileDescription"):
        problems.append("no FileDescription")
    return problems


def check_manifest(resources, name):
    """Problems with the application manifests of file `name`: keyconfig.exe
    carries one (resource 1) that declares system DPI awareness and nothing
    that changes UAC's file virtualisation or the controls' look; the other
    binaries carry none."""
    import xml.etree.ElementTree as ElementTree
    found = {key: data for key, data in resources.items()
             if key[0] == RT_MANIFEST}
    if name != "keyconfig.exe":
        return ["a manifest it should not have"] if found else []
    if [key[1] for key in found] != [1]:
        return ["manifests %s, not one as resource 1" % sorted(found)]
    text = list(found.values())[0]
    try:
        root = ElementTree.fromstring(text)
    except ElementTree.ParseError as error:
        return ["manifest unreadable: %s" % error]
    settings = "{http://schemas.microsoft.com/SMI/2005/WindowsSettings}"
    aware = [e.text.strip() for e in root.iter(settings + "dpiAware")]
    problems = []
    if aware != ["true"]:
        problems.append("dpiAware %s, not system aware ['true']" % aware)
    if any(e.tag.endswith("}dpiAwareness") for e in root.iter()):
        problems.append("a dpiAwareness element (per-monitor awareness)")
    tags = [e.tag.split("}")[-1] for e in root.iter()]
    if "requestedExecutionLevel" in tags:
        problems.append("a requestedExecutionLevel")
    if "dependency" in tags:
        problems.append("a dependency (common controls 6?)")
    return problems


def check_binary(name, data, args):
    """Problems with one shipped binary, given as it ships."""
    try:
        pe = Pe(data)
        resources, stamps = pe.resources()
    except (ValueError, struct.error, UnicodeDecodeError) as error:
        return ["unreadable: %s" % error]
    problems = []
    if pe.machine != 0x14C:
        problems.append("machine 0x%x, not i386" % pe.machine)
    if pe.time_stamp:
        problems.append("PE header time stamp 0x%08x" % pe.time_stamp)
    if pe.symbol_count:
        problems.append("not stripped: %d symbols" % pe.symbol_count)
    exports, _ = pe.directory(0)
    if exports is not None and struct.unpack_from("<I", data, exports + 4)[0]:
        problems.append("export table time stamp")
    if any(stamps):
        problems.append("resource directory time stamp")
    debug, debug_size = pe.directory(6)
    for at in range(debug or 0, (debug or 0) + debug_size, 28):
        if struct.unpack_from("<I", data, at + 4)[0]:
            problems.append("debug directory time stamp")
    problems += check_version(resources, name, args.version, args.product)
    problems += check_manifest(resources, name)
    if name.lower().endswith(".dll") and len(data) >= PLUGIN_LIMIT:
        problems.append("%d bytes, not under %d" % (len(data), PLUGIN_LIMIT))
    for text in args.forbid:
        if text.encode() in data:
            problems.append("holds the build path %s" % text)
    return problems


def report(name, data, problems):
    if problems:
        for problem in problems:
            print("FAIL %s: %s" % (name, problem))
    else:
        print("ok   %s: %d bytes" % (name, len(data)))
    return not problems


def check_binaries(args):
    good = True
    for path in args.files:
        name = os.path.basename(path)
        with open(path, "rb") as f:
            data = f.read()
        good &= report(name, data, check_binary(name, data, args))
    return good


def check_archive(args):
    good = True
    with zipfile.ZipFile(args.files[0]) as archive:
        names = archive.namelist()
        for missing in sorted(set(ARCHIVE_FILES) - set(names)):
            print("FAIL archive: no %s" % missing)
            good = False
        if names != sorted(names):
            print("FAIL archive: entries not in sorted order")
            good = False
        for info in archive.infolist():
            if info.date_time != archive.infolist()[0].date_time:
                print("FAIL archive: %s has a time of its own" % info.filename)
                good = False
        for name in names:
            data = archive.read(name)
            problems = []
            if name.endswith((".exe", ".dll")):
                problems = check_binary(os.path.basename(name), data, args)
            elif name.endswith(("README.txt", ".md", ".h")):
                # Notepad of any Windows version: UTF-8 marked as such,
                # CRLF line ends.
                if name.endswith(("README.txt", ".md")) and not data.startswith(
                        b"\xef\xbb\xbf"):
                    problems.append("no UTF-8 byte order mark")
                if data.count(b"\n") != data.count(b"\r\n") or not data:
                    problems.append("not CRLF text")
                problems += ["names %s, a place in the source tree" %
                             place.decode() for place in SOURCE_TREE_PLACES
                             if place in data]
            else:
                continue
            good &= report(name, data, problems)
    return good


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("mode", choices=["binaries", "archive"])
    parser.add_argument("--version", required=True)
    parser.add_argument("--product", required=True)
    parser.add_argument("--forbid", action="append", default=[])
    parser.add_argument("files", nargs="+")
    args = parser.parse_args()
    good = check_binaries(args) if args.mode == "binaries" else check_archive(
        args)
    sys.exit(0 if good else 1)


if __name__ == "__main__":
    main()
