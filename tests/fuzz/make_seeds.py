#!/usr/bin/env python3
"""Writes the hand-made seed inputs of the fuzz targets into corpus/<target>/."""
import hashlib
import os
import re
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))
STX, ETX = b"\x02", b"\x03"


def write(target, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    name = "seed-" + hashlib.sha1(data).hexdigest()[:16]
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def status(code, autopause, disc, track, index=1, track_time=b"0312", disc_time=b"1545"):
    return (STX + b"2416" + b"00" + code + (b"S" if autopause else b" ") + b" " +
            b"%02d%02d%02d" % (disc % 100, track, index) + track_time + b"  " + disc_time + ETX)


def reply(command, result=b"00", body=b""):
    return STX + b"%02d%02d" % (len(body) + 4, command) + result + body + ETX


def status_seeds():
    write("status", bytes([4, 1]) + status(b"PT", True, 7, 3))
    write("status", bytes([4, 17]) + status(b"PD", True, 100, 2))
    write("status", bytes([5, 2]) + status(b"PL", False, 7, 14))
    write("status", bytes([5, 2]) + status(b"PL", False, 7, 13))
    write("status", bytes([5, 1]) + status(b"SD", True, 1, 3))
    write("status", bytes([0, 0]) + status(b"PL", False, 0, 1))
    write("status", bytes([4, 1]) + status(b"XX", False, 7, 3))
    write("status", bytes([4, 1]) + status(b"PT", True, 7, 3)[:20])


def scan_seeds():
    ok = reply(3)
    loaded, empty = reply(1), reply(1, b"01")
    disc_id = reply(13, body=b"  ZUB3365659")
    toc = lambda first, last, t=b"4512": reply(15, body=b"  %02d%02d" % (first, last) + t)
    track = lambda start, end: reply(17, body=b"  " + start + end)
    one = [ok, loaded, disc_id, toc(1, 3), track(b"0000", b"0301"), track(b"0301", b"0738"),
           track(b"0738", b"1037"), empty, loaded, disc_id, toc(5, 5), track(b"0000", b"0422")]
    write("scan", b"\x00" + b"\n".join(one))
    write("scan", b"\x01" + b"\n".join([ok, empty, loaded, disc_id, toc(3, 1)]))
    write("scan", b"\x00" + b"\n".join([ok, loaded, disc_id, toc(0, 99)] + [empty] * 98 +
                                       [loaded, disc_id, toc(1, 2), track(b"0000", b"0100")]))
    write("scan", b"\x00" + b"\n".join([ok, loaded, disc_id[:12], toc(1, 2)[:11]]))


def exchange_seeds():
    write("exchange", bytes([16, 0, 0]) + status(b"PL", False, 7, 3))
    write("exchange", bytes([1, 3, 0]) + b"A05" + reply(1))
    write("exchange", bytes([1, 3, 4]) + b"A05" + reply(1, b"01") + b"x" * 60 + b"\n" + reply(1))
    write("exchange", bytes([17, 3, 3]) + b"A12" + reply(17, body=b"  03011200"))
    write("exchange", bytes([10, 50, 8]) + b"A" * 50 + reply(10))
    write("exchange", bytes([105, 0, 0]) + reply(5))


def catalogue_seeds():
    with open(os.path.join(ROOT, "demo", "zub.txt"), "rb") as f:
        demo = f.read()
    for line, artist, title in [(1, 100, 100), (7, 100, 100), (100, 50, 50), (0, 8, 255),
                                (0xFF, 255, 1), (40, 0, 0)]:
        write("catalogue", bytes([line, artist, title]) + demo)
    write("catalogue", bytes([2, 100, 100]) + b'"A"\t"B"\r\nno tab\r\nx\ty\tz\rw\n' + b"q" * 250)


def template_seeds():
    with open(os.path.join(ROOT, "resources", "layout_template.inc")) as f:
        text = re.sub(r"/\*.*?\*/", "", f.read(), flags=re.S)
    words = [int(w, 16) for w in re.findall(r"0x[0-9A-Fa-f]{4}", text)]
    layout = struct.pack("<%dH" % len(words), *words)
    write("template", layout)
    write("template", layout[:len(layout) // 2])
    # A template without font, with string class names and creation data.
    item = (struct.pack("<IIhhhhH", 0x50000000, 0, 1, 2, 30, 12, 1000) +
            "EDIT\0".encode("utf-16-le") + "text\0".encode("utf-16-le") + struct.pack("<H", 4) +
            b"\x01\x02\x03\x04")
    header = (struct.pack("<IIHhhhh", 0x80C80000, 0, 2, 0, 0, 100, 50) + b"\0\0" + b"\0\0" +
              "T\0".encode("utf-16-le"))
    header += b"\0" * (-len(header) % 4)
    item += b"\0" * (-len(item) % 4)
    write("template", header + item + item)


def remote_seeds():
    for command in b",-./012345":
        request = struct.pack("<iii", command, 7, 5) + b"\0" * 68
        write("remote", bytes([4, 7, 3, 3]) + request)
    write("remote", bytes([5, 0xFF, 0x80, 0x41]) + struct.pack("<iii", 0x35, 0, 0))
    write("remote", bytes([2, 100, 1, 2]) + struct.pack("<iii", 0x31, 100, 0))
    write("remote", bytes([3, 7, 3, 1]) + struct.pack("<i", 0x134))


if __name__ == "__main__":
    status_seeds()
    scan_seeds()
    exchange_seeds()
    catalogue_seeds()
    template_seeds()
    remote_seeds()
