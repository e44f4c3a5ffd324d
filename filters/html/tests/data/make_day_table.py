#!/usr/bin/env python3
# Writes day_table.txt, the oracle of the calendar conversion tests: for sampled Julian day
# numbers from 1,721,426 (1 January of year 1, Gregorian) to 2,600,000, the Gregorian date
# by Python's datetime and the Julian-calendar date by the usual integer formula. Every day
# of the first 5,000 is listed, then every 211th day, then a few days around known edges.
import datetime

def julian_calendar(jdn):
    c = jdn + 32082
    d = (4 * c + 3) // 1461
    e = c - (1461 * d) // 4
    m = (5 * e + 2) // 153
    day = e - (153 * m + 2) // 5 + 1
    month = m + 3 - 12 * (m // 10)
    year = d - 4800 + m // 10
    return year, month, day

days = set(range(1721426, 1726426)) | set(range(1721426, 2600001, 211))
days |= set(range(2299150, 2299170)) | set(range(2415070, 2415090)) | {2451545, 2600000}
with open("day_table.txt", "w") as out:
    out.write("# jd gyear gmonth gday jyear jmonth jday\n")
    for jd in sorted(days):
        g = datetime.date.fromordinal(jd - 1721425)
        jy, jm, jdd = julian_calendar(jd)
        out.write(f"{jd} {g.year} {g.month} {g.day} {jy} {jm} {jdd}\n")
