#!/usr/bin/env python3
"""Independent oracle for the homophone tables and the homophone search: reads Unihan's
readings with Python's own parser and Big5 codes with Python's own cp950 codec, and
prints, for each Big5 code given in hexadecimal, the codes of its main reading's group and
of all groups of its readings (every code that shares one of its readings, itself
included).

    unihan_oracle.py <Unihan_Readings.txt[.bz2]> A650 ADB5 ...

Output, one line per code: "<code> <main group codes,...> <all codes,...>" (hex, sorted);
"-" for a code without readings. Readings: kMandarin (the Taiwan value where two are
given), then the kHanyuPinlu readings, at most six.
"""
import bz2
import re
import sys


def readings_of(path):
    opener = bz2.open if path.endswith('.bz2') else open
    mandarin, pinlu = {}, {}
    with opener(path, 'rt', encoding='utf-8') as f:
        for line in f:
            if line.startswith('#') or not line.strip():
                continue
            cp, field, value = line.rstrip('\n').split('\t')
            if field == 'kMandarin':
                mandarin[int(cp[2:], 16)] = value.split()[-1]
            elif field == 'kHanyuPinlu':
                pinlu[int(cp[2:], 16)] = re.findall(r'([^\s(]+)\(\d+\)', value)
    result = {}
    for cp, main in mandarin.items():
        rs = [main]
        for r in pinlu.get(cp, []):
            if r not in rs and len(rs) < 6:
                rs.append(r)
        result[cp] = rs
    return result


def main():
    readings = readings_of(sys.argv[1])
    by_reading = {}
    code_readings = {}
    for lead in range(0xA1, 0xFF):
        for trail in list(range(0x40, 0x7F)) + list(range(0xA1, 0xFF)):
            try:
                ch = bytes([lead, trail]).decode('cp950')
            except UnicodeDecodeError:
                continue
            if len(ch) != 1 or ord(ch) not in readings:
                continue
            code = lead << 8 | trail
            code_readings[code] = readings[ord(ch)]
            for r in readings[ord(ch)]:
                by_reading.setdefault(r, set()).add(code)
    for arg in sys.argv[2:]:
        code = int(arg, 16)
        rs = code_readings.get(code)
        if not rs:
            print('%04X -' % code)
            continue
        main_group = sorted(by_reading[rs[0]])
        everything = sorted(set().union(*(by_reading[r] for r in rs)))
        print('%04X %s %s' % (code, ','.join('%04X' % c for c in main_group),
                              ','.join('%04X' % c for c in everything)))


if __name__ == '__main__':
    main()
