#!/usr/bin/python3
"""The resources of a Windows executable, found as the system's loader finds them: by
type, then name, then language, in the resource directory of the PE file.

    pe_resources.py --message-ids EXE

prints the IDs of the entries of its message tables (resource type 11), in order."""
import struct
import sys

RT_MESSAGETABLE = 11
RT_VERSION = 16


def resources(data, kind):
    """The file offset and size of every resource of type `kind`, each name and language."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe : pe + 4] != b"PE\0\0":
        raise ValueError("not a PE file")
    sections, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    directories = optional + {0x10B: 96, 0x20B: 112}[magic]
    resources_rva = struct.unpack_from("<I", data, directories + 2 * 8)[0]
    if not resources_rva:
        return []

    def offset_of(rva):
        for at in range(optional + optional_size, optional + optional_size + 40 * sections, 40):
            size, address, raw_size, raw = struct.unpack_from("<4I", data, at + 8)
            if address <= rva < address + max(size, raw_size):
                return rva - address + raw
        raise ValueError(f"no section holds RVA {rva:#x}")

    root = offset_of(resources_rva)

    def entries(directory):
        named, numbered = struct.unpack_from("<HH", data, directory + 12)
        for at in range(directory + 16, directory + 16 + 8 * (named + numbered), 8):
            yield struct.unpack_from("<II", data, at)

    found = []
    for type_id, names in entries(root):
        if type_id != kind:
            continue
        for _, languages in entries(root + (names & 0x7FFFFFFF)):
            for _, leaf in entries(root + (languages & 0x7FFFFFFF)):
                data_rva, size = struct.unpack_from("<II", data, root + leaf)
                found.append((offset_of(data_rva), size))
    return found


def message_ids(data):
    """The IDs of every entry of the message tables, block by block."""
    ids = []
    for at, _ in resources(data, RT_MESSAGETABLE):
        for block in range(struct.unpack_from("<I", data, at)[0]):
            low, high, _ = struct.unpack_from("<III", data, at + 4 + 12 * block)
            ids += range(low, high + 1)
    return ids


if __name__ == "__main__":
    try:
        if len(sys.argv) != 3 or sys.argv[1] != "--message-ids":
            raise ValueError("usage: pe_resources.py --message-ids EXE")
        print(" ".join(map(str, message_ids(open(sys.argv[2], "rb").read()))))
    except (OSError, ValueError, KeyError, struct.error) as error:
        sys.exit(f"pe_resources: {error}")
