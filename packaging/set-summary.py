#!/usr/bin/python3
"""Rewrites an MSI's summary: SOURCE_DATE_EPOCH as its times (when given), and a package
code derived from everything else the package holds, its tables, its streams and the
rest of its summary, so that the same inputs give the same bytes and two packages that
differ never share a code (wixl writes a random code and the build's time). Prints the
code.

    set-summary.py PACKAGE [EPOCH]    rewrite
    set-summary.py --derive PACKAGE   only print the code the content gives"""
import hashlib
import os
import subprocess
import sys
import tempfile
import uuid

import gi

gi.require_version("Libmsi", "1.0")
from gi.repository import Libmsi  # noqa: E402

# Tavrel's upgrade code: the codes live in its namespace.
NAMESPACE = uuid.UUID("D15ECAA9-1EAA-45E5-94BF-29D1593C00C4")
# Not content: the code itself, and a signature added after it.
SKIPPED_STREAMS = {"SummaryInformation", "\x05SummaryInformation", "DigitalSignature",
                   "\x05DigitalSignature", "MsiDigitalSignatureEx", "\x05MsiDigitalSignatureEx"}


def msiinfo(*args):
    # In UTC and the C locale: msiinfo prints the summary's times as local text. In a
    # folder of its own: an export writes a table's streams into the working folder.
    env = {**os.environ, "TZ": "UTC", "LC_ALL": "C"}
    with tempfile.TemporaryDirectory() as folder:
        return subprocess.run(["msiinfo", *args], capture_output=True, check=True, env=env, cwd=folder).stdout


def derive_package_code(path):
    path = os.path.abspath(path)
    digest = hashlib.sha256()

    def add(label, data):
        digest.update(f"{label} {len(data)}\n".encode() + data)

    for name in sorted(msiinfo("tables", path).decode().split()):
        if name != "_SummaryInformation":
            add(f"table {name}", msiinfo("export", path, name))
    for name in sorted(msiinfo("streams", path).decode().splitlines()):
        if name not in SKIPPED_STREAMS:
            add(f"stream {name}", msiinfo("extract", path, name))
    summary = [line for line in msiinfo("suminfo", path).decode().splitlines()
               if not line.startswith("Revision number")]
    add("summary", "\n".join(summary).encode())
    return "{%s}" % str(uuid.uuid5(NAMESPACE, "package " + digest.hexdigest())).upper()


def rewrite(path, fields):
    database = Libmsi.Database.new(path, Libmsi.DbFlags.TRANSACT, None)
    summary = Libmsi.SummaryInfo.new(database, 3)
    for name, value in fields.items():
        if name == "code":
            summary.set_string(Libmsi.Property.UUID, value)
        else:
            summary.set_filetime(name, value)
    summary.persist()
    database.commit()


if sys.argv[1] == "--derive":
    print(derive_package_code(sys.argv[2]))
    sys.exit(0)
path = sys.argv[1]
if len(sys.argv) > 2:
    # The summary's times are FILETIMEs: 100 ns steps since 1601.
    filetime = (int(sys.argv[2]) + 11644473600) * 10_000_000
    rewrite(path, {Libmsi.Property.CREATED_TM: filetime, Libmsi.Property.LASTSAVED_TM: filetime})
code = derive_package_code(path)
rewrite(path, {"code": code})
print(code)
