#!/usr/bin/python3
"""Rewrites an MSI's summary with a given package code and SOURCE_DATE_EPOCH as its
times, so that the same inputs give the same bytes (wixl writes a random code and the
build's time)."""
import sys

import gi

gi.require_version("Libmsi", "1.0")
from gi.repository import Libmsi  # noqa: E402

path, package_code, epoch = sys.argv[1], sys.argv[2], int(sys.argv[3])
# The summary's times are FILETIMEs: 100 ns steps since 1601.
filetime = (epoch + 11644473600) * 10_000_000
database = Libmsi.Database.new(path, Libmsi.DbFlags.TRANSACT, None)
summary = Libmsi.SummaryInfo.new(database, 3)
summary.set_string(Libmsi.Property.UUID, package_code)
summary.set_filetime(Libmsi.Property.CREATED_TM, filetime)
summary.set_filetime(Libmsi.Property.LASTSAVED_TM, filetime)
summary.persist()
database.commit()
