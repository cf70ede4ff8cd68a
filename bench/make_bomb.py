#!/usr/bin/env python3
"""Archives that cost far more to inflate than they take on disk, for the memory bench.

  make_bomb.py report SIZE OUT.zip   one deflated report entry of SIZE bytes: a purchase of
                                     SKU B1 on 5 March 2010, then blanks (about SIZE / 1000 bytes)
  make_bomb.py other SIZE OUT.zip    a deflated entry "other.bin" of SIZE blanks that declares its
                                     sizes, then that report, stored
  make_bomb.py declared OUT.zip      57 bytes: a deflated report entry declaring 4 GiB that holds
                                     four bytes

The blanks are deflated one MiB at a time, each MiB flushed in full, so every MiB packs to the same
bytes: they are packed once and repeated, and a bomb of gigabytes is written in a few seconds.
"""
import struct
import sys
import zlib

REPORT_HEAD = (
    '<?xml version="1.0"?><Workbook><Worksheet ss:Name="SKU detail"><Table><Row>h</Row><Row>'
    + "".join(f"<Cell><Data>{v}</Data></Cell>" for v in ("B1", "Bomb", "1.0", "Full", "Pro", "PPC"))
    + '</Row></Table></Worksheet><Worksheet ss:Name="Purchase History"><Table><Row>h</Row><Row>'
    + "".join(f"<Cell><Data>{v}</Data></Cell>"
              for v in ("B1", "P1", "Ann", "DE", "", "2010-03-05T10:00:00Z", ""))
    + "</Row>").encode()
REPORT_TAIL = b"</Table></Worksheet></Workbook>"
MIB = 1 << 20


def local_entry(name, method, crc, data, size):
    name = name.encode()
    return struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0, method, 0, 0, crc, len(data), size,
                       len(name), 0) + name + data


def deflated_padding(head, size, tail):
    """The raw deflate stream of head, blanks up to `size` bytes in all, tail; and its CRC-32."""
    pad = size - len(head) - len(tail)
    packer = zlib.compressobj(9, zlib.DEFLATED, -15)
    parts = [packer.compress(head) + packer.flush(zlib.Z_FULL_FLUSH)]
    crc = zlib.crc32(head)
    block = b" " * MIB
    packed_block = packer.compress(block) + packer.flush(zlib.Z_FULL_FLUSH)
    for _ in range(pad // MIB):
        crc = zlib.crc32(block, crc)
    parts.append(packed_block * (pad // MIB))
    rest = block[: pad % MIB] + tail
    parts.append(packer.compress(rest) + packer.flush())
    return b"".join(parts), zlib.crc32(rest, crc)


def main(argv):
    kind, out = argv[1], argv[-1]
    report = REPORT_HEAD + REPORT_TAIL
    if kind == "report":
        size = int(argv[2])
        data, crc = deflated_padding(REPORT_HEAD, size, REPORT_TAIL)
        archive = local_entry("fulfillmentreport.xml", 8, crc, data, size)
    elif kind == "other":
        size = int(argv[2])
        data, crc = deflated_padding(b"", size, b"")
        archive = (local_entry("other.bin", 8, crc, data, size)
                   + local_entry("fulfillmentreport.xml", 0, zlib.crc32(report), report,
                                 len(report)))
    elif kind == "declared":
        packer = zlib.compressobj(9, zlib.DEFLATED, -15)
        data = packer.compress(b"abcd") + packer.flush()
        archive = local_entry("fulfillmentreport.xml", 8, zlib.crc32(b"abcd"), data, 0xFFFFFFFF)
    else:
        sys.exit(__doc__)
    with open(out, "wb") as f:
        f.write(archive)


if __name__ == "__main__":
    main(sys.argv)
