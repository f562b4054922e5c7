#!/usr/bin/env python3
"""Packs a release folder into a zip archive that depends only on the files'
contents: entries in sorted order, every entry stamped with one given time,
fixed permissions, no directory entries, no extra fields. Text files get
Windows line ends (CRLF), and the README.txt files and the .md guide a UTF-8
byte order mark, so that every Notepad reads them as UTF-8.

Usage: pack_release.py FOLDER OUT.zip EPOCH_SECONDS
(scripts/release.sh passes the commit's time.) The compressed bytes come from
Python's zlib: the same zlib version gives the same archive.
"""
import os
import sys
import time
import zipfile

TEXT_SUFFIXES = (".txt", ".md", ".c", ".h", ".def")
BOM = b"\xef\xbb\xbf"


def contents(path, name):
    with open(path, "rb") as f:
        data = f.read()
    if name.endswith(TEXT_SUFFIXES):
        if b"\r" in data:
            sys.exit("pack_release: %s already has carriage returns" % name)
        data = data.replace(b"\n", b"\r\n")
        if name.endswith(("README.txt", ".md")):
            data = BOM + data
    return data


def main():
    folder, out, epoch = sys.argv[1], sys.argv[2], int(sys.argv[3])
    # Zip times are local times of day with two-second steps, from 1980 on.
    stamp = time.gmtime(max(epoch, 315532800))
    date_time = (stamp.tm_year, stamp.tm_mon, stamp.tm_mday, stamp.tm_hour,
                 stamp.tm_min, stamp.tm_sec // 2 * 2)
    names = []
    for directory, _, files in os.walk(folder):
        for file in files:
            path = os.path.join(directory, file)
            names.append(os.path.relpath(path, folder).replace(os.sep, "/"))
    os.makedirs(os.path.dirname(os.path.abspath(out)), exist_ok=True)
    partial = out + ".part"
    with zipfile.ZipFile(partial, "w") as archive:
        for name in sorted(names):
            info = zipfile.ZipInfo(name, date_time)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 0  # MS-DOS: no Unix owner or mode bits
            info.external_attr = 0
            archive.writestr(info,
                             contents(os.path.join(folder, name), name),
                             compresslevel=9)
    os.replace(partial, out)


if __name__ == "__main__":
    main()
