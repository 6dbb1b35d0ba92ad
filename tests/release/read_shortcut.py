#!/usr/bin/env python3
"""Prints the target and the working folder of a Windows shortcut (.lnk),
one per line, as the shell link format stores them: the target from the
link information's local base path, the folder from the string data."""
import struct
import sys

HAS_ID_LIST = 0x01
HAS_LINK_INFO = 0x02
HAS_NAME = 0x04
HAS_RELATIVE_PATH = 0x08
HAS_WORKING_DIR = 0x10
IS_UNICODE = 0x80
HEADER_SIZE = 0x4C


def read_shortcut(data):
    if len(data) < HEADER_SIZE or struct.unpack_from("<I", data, 0)[0] != HEADER_SIZE:
        raise ValueError("not a shell link")
    flags = struct.unpack_from("<I", data, 20)[0]
    at = HEADER_SIZE
    if flags & HAS_ID_LIST:
        at += 2 + struct.unpack_from("<H", data, at)[0]
    target = ""
    if flags & HAS_LINK_INFO:
        info_size, _, info_flags, _, base_offset = struct.unpack_from("<5I", data, at)
        if info_flags & 1:  # a local volume and base path
            end = data.index(b"\0", at + base_offset)
            target = data[at + base_offset:end].decode("latin-1")
        at += info_size
    unit = 2 if flags & IS_UNICODE else 1
    strings = {}
    for flag in (HAS_NAME, HAS_RELATIVE_PATH, HAS_WORKING_DIR):
        if flags & flag:
            count = struct.unpack_from("<H", data, at)[0]
            raw = data[at + 2:at + 2 + count * unit]
            # Some writers count the terminating zero too.
            strings[flag] = raw.decode("utf-16-le" if unit == 2 else "latin-1").rstrip("\0")
            at += 2 + count * unit
    return target, strings.get(HAS_WORKING_DIR, "")


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: read_shortcut.py FILE.lnk")
    try:
        with open(sys.argv[1], "rb") as f:
            target, folder = read_shortcut(f.read())
    except (OSError, ValueError, struct.error) as error:
        sys.exit(f"read_shortcut.py: {sys.argv[1]}: {error}")
    print(target)
    print(folder)


if __name__ == "__main__":
    main()
