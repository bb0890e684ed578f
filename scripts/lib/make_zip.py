#!/usr/bin/env python3
"""Writes a zip whose bytes depend only on the files given and one date.

    make_zip.py ZIP EPOCH FILE...

Members are the files' base names, in the order given, each dated EPOCH (Unix
seconds, taken as UTC), mode 0644, made on Unix; no extra fields, no comment.
They are stored, not deflated: deflated bytes depend on the zlib build (zlib-ng
gives others), and the archive must come out the same wherever it is made.
"""
import os
import sys
import time
import zipfile


def main(argv):
    if len(argv) < 4:
        sys.exit("usage: make_zip.py ZIP EPOCH FILE...")
    archive, epoch, files = argv[1], int(argv[2]), argv[3:]
    date = time.gmtime(epoch)[:6]
    with zipfile.ZipFile(archive, "w", zipfile.ZIP_STORED) as out:
        for path in files:
            member = zipfile.ZipInfo(os.path.basename(path), date_time=date)
            member.create_system = 3
            member.external_attr = 0o100644 << 16
            member.compress_type = zipfile.ZIP_STORED
            with open(path, "rb") as source:
                out.writestr(member, source.read())


if __name__ == "__main__":
    main(sys.argv)
