#!/usr/bin/env python3
"""Writes the fuzz targets' seed inputs under corpus/ beside this script.

The seeds are committed; run this again only to change them. md5: RFC 1321's
messages, and lengths on both sides of the padding and block boundaries in a
byte pattern that gives varied cut plans (md5_fuzz reads its plan from the
input's last bytes). file_name: paths with backslashes and slashes, and GBK
(code page 936) paths whose characters end in the byte 0x5C.
"""
from pathlib import Path

HERE = Path(__file__).resolve().parent


def pattern(length):
    # Every byte value in turn, in an order that mixes the four piece kinds.
    return bytes((i * 131 + 7) & 0xFF for i in range(length))


MD5_SEEDS = {
    "rfc1321-empty": b"",
    "rfc1321-a": b"a",
    "rfc1321-abc": b"abc",
    "rfc1321-message-digest": b"message digest",
    "rfc1321-alphabet": b"abcdefghijklmnopqrstuvwxyz",
    "rfc1321-alphanumeric": b"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
    "rfc1321-digits": b"1234567890" * 8,
    **{f"length-{n}": pattern(n) for n in (1, 55, 56, 57, 63, 64, 65, 119, 120, 121, 1023, 1024, 1025, 4097)},
    # Only empty updates, then the whole message in one piece.
    "plan-empty-updates": bytes(130),
    # One piece of 64 bytes after another.
    "plan-whole-blocks": bytes([0x81]) * 256,
}

FILE_NAME_SEEDS = {
    "empty": b"",
    "bare-name": b"x.bin",
    "drive-path": b"C:\\data\\e.txt",
    "leading-backslash": b"\\x.bin",
    "slashes": b"C:/data/e.txt",
    "mixed-separators": b"C:\\data/sub\\e.txt",
    "unc": b"\\\\server\\share\\f.bin",
    "ends-in-separator": b"C:\\data\\",
    "only-backslash": b"\\",
    "only-slash": b"/",
    # 0x95 0x5C is one GBK character whose second byte is a backslash's.
    "gbk-5c-folder": b"C:\\\x95\x5c\\a.txt",
    "gbk-5c-in-name": b"C:\\a\\\x95\x5c.txt",
    "gbk-5c-at-end": b"C:\\a\\b\x95\x5c",
    "gbk-5c-twice": b"\x95\x5c\x95\x5c",
    "gbk-2f-trail": b"a\\\x95/b",
    "gbk-chinese": "C:\\中文\\文件.txt".encode("gbk"),
    # A lead byte as the last byte has nothing to pair with.
    "gbk-lead-at-end": b"a\\b\x95",
    "gbk-lead-before-backslash": b"a\x95\\b",
    # Lead bytes in a row pair off two by two.
    "gbk-lead-pairs-even": b"\x81\x81\\b",
    "gbk-lead-pairs-odd": b"\x81\x81\x81\\b",
}


def write(folder, seeds):
    target = HERE / "corpus" / folder
    target.mkdir(parents=True, exist_ok=True)
    for old in target.iterdir():
        old.unlink()
    for name, data in seeds.items():
        (target / name).write_bytes(data)


if __name__ == "__main__":
    write("md5", MD5_SEEDS)
    write("file_name", FILE_NAME_SEEDS)
