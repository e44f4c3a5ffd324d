#!/usr/bin/env python3
"""Oracle of the homophone search tests: which Big5 characters sound like a given one,
read from Unihan's readings with Python's own parser and Big5 codes through Python's own
cp950 codec.

    unihan_homophones.py <Unihan_Readings.txt[.bz2]> A650 ADB5 ...

Prints one line per code given in hexadecimal: "<code> <codes,...>", the Big5 codes (hex,
sorted, the code itself included) of every character that shares one of its readings, or
"<code> -" when it has none. A character's readings are its kMandarin reading (the last
value, the Taiwan one, where two are given) and its kHanyuPinlu readings, six at most.
"""
import bz2
import re
import sys


def load_readings(path):
    opener = bz2.open if path.endswith('.bz2') else open
    mandarin, pinlu = {}, {}
    with opener(path, 'rt', encoding='utf-8') as f:
        for line in f:
            if line.startswith('#') or not line.strip():
                continue
            code_point, field, value = line.rstrip('\n').split('\t')
            cp = int(code_point[2:], 16)
            if field == 'kMandarin':
                mandarin[cp] = value.split()[-1]
            elif field == 'kHanyuPinlu':
                pinlu[cp] = re.findall(r'([^\s(]+)\(\d+\)', value)
    readings = {}
    for cp, main in mandarin.items():
        rs = [main]
        for r in pinlu.get(cp, []):
            if r not in rs and len(rs) < 6:
                rs.append(r)
        readings[cp] = rs
    return readings


def main():
    readings = load_readings(sys.argv[1])
    codes_by_reading, readings_by_code = {}, {}
    for lead in range(0xA1, 0xFF):
        for trail in list(range(0x40, 0x7F)) + list(range(0xA1, 0xFF)):
            try:
                text = bytes([lead, trail]).decode('cp950')
            except UnicodeDecodeError:
                continue
            if len(text) != 1 or ord(text) not in readings:
                continue
            code = lead << 8 | trail
            readings_by_code[code] = readings[ord(text)]
            for r in readings[ord(text)]:
                codes_by_reading.setdefault(r, set()).add(code)
    for arg in sys.argv[2:]:
        code = int(arg, 16)
        rs = readings_by_code.get(code)
        if not rs:
            print('%04X -' % code)
            continue
        alike = set().union(*(codes_by_reading[r] for r in rs))
        print('%04X %s' % (code, ','.join('%04X' % c for c in sorted(alike))))


if __name__ == '__main__':
    main()
