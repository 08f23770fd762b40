#!/usr/bin/env python3
"""Rewrites a zip file so that it depends on its contents alone: entries in
name order, every entry dated at the given Unix time (UTC), fixed
permissions, no extra fields (the archiver records access and change times
there, which no two builds share).

    reproducible_zip.py FILE.zip EPOCH
"""
import os
import sys
import time
import zipfile

ZIP_EPOCH = 315532800  # 1980-01-01, the earliest time a zip entry can hold


def fresh_entry(old, date):
    entry = zipfile.ZipInfo(old.filename, date)
    entry.create_system = 3  # Unix, so that the permissions below are read
    if old.is_dir():
        entry.external_attr = (0o40755 << 16) | 0x10
        entry.compress_type = zipfile.ZIP_STORED
    else:
        mode = 0o100755 if old.filename.lower().endswith(".exe") else 0o100644
        entry.external_attr = mode << 16
        entry.compress_type = zipfile.ZIP_DEFLATED
    return entry


def main(path, epoch):
    date = time.gmtime(max(int(epoch), ZIP_EPOCH))[:6]
    with zipfile.ZipFile(path) as source:
        entries = [(info, source.read(info)) for info in source.infolist()]
    entries.sort(key=lambda pair: pair[0].filename)
    temporary = path + ".tmp"
    with zipfile.ZipFile(temporary, "w") as target:
        for info, data in entries:
            target.writestr(fresh_entry(info, date), data, compresslevel=9)
    os.replace(temporary, path)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2])
