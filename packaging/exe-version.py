#!/usr/bin/python3
"""Reads a Windows executable's version resource as Windows Installer reads it: prints
its fixed file version (a.b.c.d) and the language of its first translation.

    exe-version.py EXE
    exe-version.py --set A.B.C.D EXE OUT

With --set, writes a copy of EXE whose fixed file and product versions are A.B.C.D: the
tests' packages at other versions carry such copies, as a real release would."""
import struct
import sys

from pe_resources import RT_VERSION, resources

FIXED_SIGNATURE = 0xFEEF04BD


def align4(offset):
    return (offset + 3) & ~3


def version_resource(data):
    """The file offset and size of the first RT_VERSION resource."""
    found = resources(data, RT_VERSION)
    if not found:
        raise ValueError("no version resource")
    return found[0]


def read_node(data, at):
    """One VS_VERSIONINFO-style block: its key, value, first child and end."""
    length, value_length, kind = struct.unpack_from("<HHH", data, at)
    key_end = at + 6
    while data[key_end : key_end + 2] != b"\0\0":
        key_end += 2
    value_at = align4(key_end + 2)
    value_end = value_at + (value_length * 2 if kind == 1 else value_length)
    return data[at + 6 : key_end].decode("utf-16-le"), value_at, align4(value_end), at + length


def children(data, first, end):
    at = first
    while at < end:
        node = read_node(data, at)
        yield node
        at = align4(node[3])


def read_version(data):
    """(fixed info's file offset, "a.b.c.d", language or 0)."""
    start, size = version_resource(data)
    key, fixed, first, end = read_node(data, start)
    signature, _, ms, ls = struct.unpack_from("<4I", data, fixed)
    if key != "VS_VERSION_INFO" or signature != FIXED_SIGNATURE:
        raise ValueError("malformed version resource")
    version = f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}"
    language = 0
    for name, _, child, child_end in children(data, first, min(end, start + size)):
        if name == "VarFileInfo":
            for entry, value, _, _ in children(data, child, child_end):
                if entry == "Translation":
                    language = struct.unpack_from("<H", data, value)[0]
    return fixed, version, language


def main(args):
    if len(args) == 1:
        _, version, language = read_version(open(args[0], "rb").read())
        print(version, language)
    elif len(args) == 4 and args[0] == "--set":
        parts = [int(part) for part in args[1].split(".")]
        if len(parts) != 4 or not all(0 <= part <= 0xFFFF for part in parts):
            raise ValueError(f"not a file version: {args[1]}")
        data = bytearray(open(args[2], "rb").read())
        fixed = read_version(data)[0]
        ms, ls = parts[0] << 16 | parts[1], parts[2] << 16 | parts[3]
        struct.pack_into("<4I", data, fixed + 8, ms, ls, ms, ls)
        open(args[3], "wb").write(data)
    else:
        raise ValueError("usage: exe-version.py EXE | exe-version.py --set A.B.C.D EXE OUT")


if __name__ == "__main__":
    try:
        main(sys.argv[1:])
    except (OSError, ValueError, KeyError, StopIteration, struct.error) as error:
        sys.exit(f"exe-version: {error}")
