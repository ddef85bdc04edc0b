#!/usr/bin/env python3
"""Checks every fixed field of an archive the writer made from SOURCE.

usage: check_archive.py ARCHIVE SOURCE_FOLDER
Prints one line per fault and exits 1 when there is any.
"""
import os
import stat
import struct
import sys
import time
import zipfile
import zlib

STORED_EXT = {".z", ".zip", ".zoo", ".arc", ".lzh", ".arj", ".gz", ".tgz"}
faults = []


def fault(msg):
    faults.append(msg)


def dos_stamp(t):
    g = time.gmtime(t)
    date = ((g.tm_year - 1980) << 9) | (g.tm_mon << 5) | g.tm_mday
    tm = (g.tm_hour << 11) | (g.tm_min << 5) | (g.tm_sec // 2)
    return tm, date


def source_of(name, root):
    # "//sub//file" -> root/sub/file
    parts = [p for p in name.split("/") if p]
    return os.path.join(root, *parts)


def is_exe(data):
    if len(data) < 64 or data[:2] != b"MZ":
        return False
    off = struct.unpack_from("<I", data, 60)[0]
    if off + 52 >= len(data):
        return False
    return struct.unpack_from("<I", data, off)[0] in (0x4550, 0x454E, 0x454C, 0x5A4D)


def main():
    archive, root = sys.argv[1], sys.argv[2]
    raw = open(archive, "rb").read()
    end = raw.rfind(b"PK\x05\x06")
    if end < 0 or len(raw) - end != 22:
        fault("end record missing or not last")
        return
    (_, disk, cd_disk, n_disk, n_total, cd_size, cd_off, comment) = struct.unpack_from(
        "<IHHHHIIH", raw, end)
    if disk or cd_disk or comment or n_disk != n_total:
        fault("end record fields")
    if cd_off + cd_size != end:
        fault("central directory size/offset")
    pos = cd_off
    seen = set()
    for _ in range(n_total):
        f = struct.unpack_from("<IHHHHHHIIIHHHHHII", raw, pos)
        (sig, made, need, flags, method, tm, date, crc, csize, usize, nlen, xlen, clen, dnum,
         internal, external, loff) = f
        name = raw[pos + 46:pos + 46 + nlen].decode("utf-8")
        extra = raw[pos + 46 + nlen:pos + 46 + nlen + xlen]
        pos += 46 + nlen + xlen + clen
        seen.add(name)
        where = name + ": "
        if sig != 0x02014B50 or made != 0x0B17 or need != 20 or xlen != 9 or clen or dnum or internal:
            fault(where + "central header constants")
        if not name.startswith("//"):
            fault(where + "name does not begin with two slashes")
        # local header
        l = struct.unpack_from("<IHHHHHIIIHH", raw, loff)
        if (l[0] != 0x04034B50 or l[1] != 20 or l[2] != flags or l[3] != method or l[4] != tm
                or l[5] != date or l[6] != crc or l[7] != csize or l[8] != usize or l[9] != nlen
                or l[10] != 17):
            fault(where + "local header differs from central record")
        lname = raw[loff + 30:loff + 30 + nlen].decode("utf-8")
        lextra = raw[loff + 30 + nlen:loff + 30 + nlen + 17]
        if lname != name:
            fault(where + "local name")
        lid, lsize, lflags, lm, la, lc = struct.unpack("<HHBIII", lextra)
        cid, csz, cflags, cm = struct.unpack("<HHBI", extra)
        if (lid, lsize, lflags, cid, csz, cflags) != (0x5455, 13, 7, 0x5455, 5, 7) or cm != lm:
            fault(where + "extended timestamp fields")
        path = source_of(name, root)
        st = os.stat(path)
        if name.endswith("/"):
            if not stat.S_ISDIR(st.st_mode):
                fault(where + "folder entry for a file")
            if (flags, method, crc, csize, usize, external) != (0, 0, 0, 0, 0, 0x41C00010):
                fault(where + "folder fields")
            if abs(lm - time.time()) > 15 * 3600 or lm != la or lm != lc:
                fault(where + "folder times")
            continue
        data = open(path, "rb").read()
        ext = os.path.splitext(name)[1].lower()
        want_method = 0 if ext in STORED_EXT else 8
        if method != want_method or flags != (2 if want_method == 8 else 0):
            fault(where + "method %d flags %d" % (method, flags))
        if crc != (zlib.crc32(data) & 0xFFFFFFFF) or usize != len(data):
            fault(where + "crc or size")
        body = raw[loff + 30 + nlen + 17:loff + 30 + nlen + 17 + csize]
        got = body if method == 0 else zlib.decompress(body, -15)
        if got != data:
            fault(where + "data differs")
        if (tm, date) != dos_stamp(int(st.st_mtime)):
            fault(where + "dos time")
        # reading the file for the archive may move its access time on
        if (lm, lc) != (int(st.st_mtime), int(st.st_ctime)) or la > int(st.st_atime):
            fault(where + "unix times")
        ro = not (st.st_mode & stat.S_IWUSR)
        want_dos = 0x20 | (0x01 if ro else 0) | (0x02 if os.path.basename(path).startswith(".") else 0)
        want_mode = 0x8000 | 0x100 | (0 if ro else 0x80) | (0x40 if is_exe(data) else 0)
        if external != (want_mode << 16 | want_dos):
            fault(where + "external attributes %08x, wanted %08x" % (external, want_mode << 16 | want_dos))
    if pos != end:
        fault("central directory length")
    # every file and folder of the source is there
    for folder, dirs, files in os.walk(root):
        rel = os.path.relpath(folder, root)
        prefix = "/" if rel == "." else "//" + "//".join(rel.split(os.sep)) + "/"
        for d in dirs:
            if prefix + "/" + d + "/" not in seen:
                fault("missing folder " + prefix + "/" + d + "/")
        for f in files:
            if prefix + "/" + f not in seen:
                fault("missing file " + prefix + "/" + f)
    with zipfile.ZipFile(archive) as z:
        bad = z.testzip()
        if bad is not None:
            fault("zipfile reports " + bad)


if __name__ == "__main__":
    try:
        main()
    except Exception as e:  # a malformed archive is a fault too
        fault("exception: %r" % e)
    for f in faults:
        print(f)
    sys.exit(1 if faults else 0)
