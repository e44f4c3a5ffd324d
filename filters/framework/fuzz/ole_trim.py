#!/usr/bin/env python3
"""Copies chosen streams of a compound (OLE) file into a new, small compound file: version
3, 512-byte sectors, streams under 4,096 bytes in the mini stream, the directory a plain
chain of right siblings in name order. scripts/fuzz-seeds uses it to keep LibreOffice's
PowerPoint files to the streams the PowerPoint reader looks at ("PowerPoint Document",
"Current User"), without the thumbnail that makes them hundreds of kilobytes.

    ole_trim.py in.ppt out.ppt STREAM...
"""
import struct, sys
END, FREE, FATSECT = 0xFFFFFFFE, 0xFFFFFFFF, 0xFFFFFFFD
def read_cfb(d):
    ss = 1 << struct.unpack_from("<H", d, 30)[0]
    mss = 1 << struct.unpack_from("<H", d, 32)[0]
    nfat, dir0 = struct.unpack_from("<II", d, 44)
    cutoff, mfat0, nmfat, difat0, ndifat = struct.unpack_from("<IIIII", d, 56)
    difat = list(struct.unpack_from("<109I", d, 76))
    s = difat0
    while s not in (END, FREE) and ndifat:
        off = 512 + s * ss
        difat += struct.unpack_from("<%dI" % (ss // 4 - 1), d, off)
        s = struct.unpack_from("<I", d, off + ss - 4)[0]
        ndifat -= 1
    fat = []
    for f in difat[:nfat]:
        fat += struct.unpack_from("<%dI" % (ss // 4), d, 512 + f * ss)
    def chain(s):
        out = b""
        seen = 0
        while s < len(fat) and seen < len(fat):
            out += d[512 + s * ss:512 + (s + 1) * ss]
            s = fat[s]
            seen += 1
        return out
    dirs = chain(dir0)
    entries = []
    for k in range(len(dirs) // 128):
        e = dirs[k * 128:(k + 1) * 128]
        nlen = struct.unpack_from("<H", e, 64)[0]
        name = e[:max(nlen - 2, 0)].decode("utf-16-le", "replace")
        typ = e[66]
        start, size = struct.unpack_from("<II", e, 116)
        entries.append((name, typ, start, size))
    root = entries[0]
    ministream = chain(root[2])
    mfat = []
    raw = chain(mfat0)
    mfat = list(struct.unpack("<%dI" % (len(raw) // 4), raw))
    def mchain(s, size):
        out = b""
        seen = 0
        while s < len(mfat) and seen < len(mfat) and len(out) < size:
            out += ministream[s * mss:(s + 1) * mss]
            s = mfat[s]
            seen += 1
        return out[:size]
    streams = {}
    for name, typ, start, size in entries[1:]:
        if typ == 2:
            streams[name] = (mchain(start, size) if size < cutoff else chain(start)[:size])
    return streams
def write_cfb(streams):
    ss, mss = 512, 64
    names = sorted(streams, key=lambda n: (len(n), n.upper()))
    mini, big = [n for n in names if len(streams[n]) < 4096], [n for n in names if len(streams[n]) >= 4096]
    ministream, mfat, starts = b"", [], {}
    for n in mini:
        data = streams[n]
        k = (len(data) + mss - 1) // mss
        starts[n] = len(mfat) if k else END
        mfat += [len(mfat) + i + 1 for i in range(k - 1)] + ([END] if k else [])
        ministream += data + b"\0" * (k * mss - len(data))
    sectors, fat = [], []
    def add_chain(data):
        k = max((len(data) + ss - 1) // ss, 1)
        first = len(fat)
        for i in range(k):
            fat.append(first + i + 1 if i < k - 1 else END)
            sectors.append(data[i * ss:(i + 1) * ss].ljust(ss, b"\0"))
        return first
    nentries = 1 + len(names)
    dir_bytes = bytearray(((nentries * 128 + ss - 1) // ss) * ss)
    # Lay out: directory, mini FAT, mini stream, then the large streams, after the FAT sectors.
    layout = [("dir", bytes(dir_bytes)), ("mfat", struct.pack("<%dI" % len(mfat), *mfat) if mfat else b""),
              ("mini", ministream)] + [(n, streams[n]) for n in big]
    total = sum(max((len(b) + ss - 1) // ss, 1) for _, b in layout if b) + 1
    nfat = 1
    while nfat * (ss // 4) < total + nfat:
        nfat += 1
    fat = [FATSECT] * nfat
    sectors = []
    pos = {}
    for key, b in layout:
        pos[key] = add_chain(b) if b else END
    for n in big:
        starts[n] = pos[n]
    def entry(name, typ, child, right, start, size):
        e = bytearray(128)
        u = (name + "\0").encode("utf-16-le")
        e[:len(u)] = u
        struct.pack_into("<HBB", e, 64, len(u), typ, 1)
        struct.pack_into("<III", e, 68, FREE, right, child)
        struct.pack_into("<II", e, 116, start, size)
        return e
    ents = [entry("Root Entry", 5, 1 if names else FREE, FREE, pos["mini"], len(ministream))]
    for i, n in enumerate(names):
        ents.append(entry(n, 2, FREE, i + 2 if i + 1 < len(names) else FREE, starts[n], len(streams[n])))
    dirb = b"".join(ents).ljust(len(dir_bytes), b"\0")
    dstart = pos["dir"] - nfat
    for i in range(len(dir_bytes) // ss):
        sectors[dstart + i] = dirb[i * ss:(i + 1) * ss]
    fat += [FREE] * (nfat * (ss // 4) - len(fat))
    hdr = bytearray(512)
    hdr[:8] = bytes.fromhex("D0CF11E0A1B11AE1")
    struct.pack_into("<HHHHH", hdr, 24, 0x3E, 3, 0xFFFE, 9, 6)
    struct.pack_into("<II", hdr, 44, nfat, pos["dir"])
    struct.pack_into("<IIIII", hdr, 56, 4096, pos["mfat"], (len(mfat) * 4 + ss - 1) // ss if mfat else 0, END, 0)
    difat = list(range(nfat)) + [FREE] * (109 - nfat)
    struct.pack_into("<109I", hdr, 76, *difat)
    fatb = struct.pack("<%dI" % len(fat), *fat)
    return bytes(hdr) + fatb + b"".join(sectors)
if __name__ == "__main__":
    src, dst = sys.argv[1], sys.argv[2]
    keep = sys.argv[3:]
    s = read_cfb(open(src, "rb").read())
    
    open(dst, "wb").write(write_cfb({k: v for k, v in s.items() if k in keep}))
