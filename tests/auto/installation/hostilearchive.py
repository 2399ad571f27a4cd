#!/usr/bin/env python3
"""Writes a .tar.gz as a hostile server could send it.

Usage: hostilearchive.py OUTPUT ENTRY...

What tar can store from a folder is made on disk and packed by the real tar:
  f NAME[=CONTENT]   file ("x" when no content is given)
  l NAME>TARGET      symbolic link
  p NAME             FIFO
  h NAME=BYTES       sparse file of that size: a hole that unpacks in no time
What tar will not create from a folder is appended raw:
  r NAME[=CONTENT]   file under a name tar would refuse or change (absolute, "..")
  c NAME             character device 1,3 (the null device)
  s NAME             setuid and setgid file owned by user and group 4321
  z NAME=BYTES       file of that many zero bytes, which compresses to almost nothing
  y NAME=BYTES       the same zeros under a sparse header that claims a file of one byte
  k NAME>TARGET      hard link
  m NAME=COUNT       that many empty files NAME/1 ... NAME/COUNT, which would take long to make on disk
"""

import gzip
import os
import shutil
import subprocess
import sys
import tarfile
import tempfile


def lying_sparse_header(header, size):
    """GNU's old sparse header: one data region of `size` bytes in a file of one byte."""
    block = bytearray(header[-512:])
    block[156:157] = b"S"
    block[386:410] = b"%011o\0%011o\0" % (0, size)
    block[483:495] = b"%011o\0" % 1
    block[148:156] = b" " * 8
    block[148:156] = b"%06o\0 " % sum(block)
    return header[:-512] + bytes(block)


def main(output, entries):
    work = tempfile.mkdtemp()
    try:
        tree = os.path.join(work, "tree")
        os.mkdir(tree)
        tops, raw = [], []
        for entry in entries:
            kind, spec = entry[0], entry[2:]
            if kind in "rcszykm":
                raw.append((kind, spec))
                continue
            name, _, value = spec.partition(">" if kind == "l" else "=")
            path = os.path.join(tree, name)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            if kind == "f":
                with open(path, "w") as f:
                    f.write(value or "x")
            elif kind == "l":
                os.symlink(value, path)
            elif kind == "p":
                os.mkfifo(path)
            elif kind == "h":
                with open(path, "wb") as f:
                    f.truncate(int(value))
            top = name.split("/")[0]
            if top not in tops:
                tops.append(top)

        plain = os.path.join(work, "plain.tar")
        end = 0
        if tops:
            subprocess.run(["tar", "--sparse", "-cf", plain, "-C", tree] + tops, check=True)
            with tarfile.open(plain) as packed:
                packed.getmembers()
                end = packed.offset  # where tar's end-of-archive blocks begin

        # Raw entries follow tar's own. The gzip stream is a series of members, as gzip allows: a bomb
        # repeats one compressed MiB of zeros and never lands on disk or in memory whole.
        zeros = gzip.compress(bytes(1 << 20), 9)
        with open(output, "wb") as target:
            if end:
                with open(plain, "rb") as source:
                    target.write(gzip.compress(source.read(end), 1))
            for kind, spec in raw:
                name, _, value = spec.partition(">" if kind == "k" else "=")
                if kind == "m":
                    headers = (tarfile.TarInfo("%s/%d" % (name, n)).tobuf(tarfile.GNU_FORMAT)
                               for n in range(1, int(value) + 1))
                    target.write(gzip.compress(b"".join(headers), 1))
                    continue
                info = tarfile.TarInfo(name)
                data = b""
                if kind == "r":
                    data = (value or "x").encode()
                elif kind == "c":
                    info.type, info.devmajor, info.devminor, info.mode = tarfile.CHRTYPE, 1, 3, 0o666
                elif kind == "s":
                    info.mode, info.uid, info.gid = 0o6755, 4321, 4321
                    data = b"x"
                elif kind == "k":
                    info.type, info.linkname = tarfile.LNKTYPE, value
                info.size = int(value) if kind in "zy" else len(data)
                header = info.tobuf(tarfile.GNU_FORMAT)
                if kind == "y":
                    header = lying_sparse_header(header, info.size)
                target.write(gzip.compress(header + data, 1))
                if kind in "zy":
                    for _ in range(info.size >> 20):
                        target.write(zeros)
                    target.write(gzip.compress(bytes(info.size & ((1 << 20) - 1))))
                target.write(gzip.compress(bytes(-info.size % 512)))
            target.write(gzip.compress(bytes(1024)))
    finally:
        shutil.rmtree(work)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2:])
