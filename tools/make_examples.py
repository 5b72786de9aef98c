#!/usr/bin/env python3
"""Writes the bundled example observation files and the golden files of the tests.

The expected outputs are composed here by hand from the conversion rules (moving-antenna block,
record counts, site MARKER NAME records), not by running the converter, so that the golden tests
check the converter against an independent statement of the rules.

Run from the repository root: python3 tools/make_examples.py
"""
import os

CRLF = "\r\n"


def rec(text, label):
    """An 80-column header-type record: 60 columns of text, a 20-column label, CR LF."""
    assert len(text) <= 60 and len(label) <= 20
    return text.ljust(60) + label.ljust(20) + CRLF


def header(marker, types, agency="FERRULE SURVEY", run_by="FIELD TEAM", sats=("G01", "G03", "G08")):
    lines = [
        rec("     2.11           OBSERVATION DATA    G (GPS)", "RINEX VERSION / TYPE"),
        rec("RNXCONV 1.0".ljust(20) + run_by.ljust(20) + "20190525 010000 UTC", "PGM / RUN BY / DATE"),
        rec("Example survey for ferrule", "COMMENT"),
        rec(marker, "MARKER NAME"),
        rec("0001", "MARKER NUMBER"),
        rec("SURVEYOR".ljust(20) + agency, "OBSERVER / AGENCY"),
        rec("5435R40017          GNSS RX 10          4.10", "REC # / TYPE / VERS"),
        rec("1234                GNSS ANT 10", "ANT # / TYPE"),
        rec(" -3961904.9260  3348993.7640  3698211.7400", "APPROX POSITION XYZ"),
        rec("        1.5000        0.0000        0.0000", "ANTENNA: DELTA H/E/N"),
        rec("     1     1", "WAVELENGTH FACT L1/2"),
    ]
    first = "%6d" % len(types) + "".join("%6s" % t for t in types[:9])
    lines.append(rec(first, "# / TYPES OF OBSERV"))
    if len(types) > 9:
        lines.append(rec("      " + "".join("%6s" % t for t in types[9:]), "# / TYPES OF OBSERV"))
    lines += [
        rec("     1.000", "INTERVAL"),
        rec("  2019     5    25     1     2   30.0000000     GPS", "TIME OF FIRST OBS"),
        rec("    18", "LEAP SECONDS"),
        rec("%6d" % len(sats), "# OF SATELLITES"),
    ]
    for s in sats:
        counts = "".join("%6d" % 5 for _ in types)
        lines.append(rec("   " + s + counts[:54], "PRN / # OF OBS"))
        if len(types) > 9:
            lines.append(rec("      " + counts[54:], "PRN / # OF OBS"))
    lines.append(rec("", "END OF HEADER"))
    return "".join(lines)


def obs_lines(sat_index, epoch_index, ntypes):
    """The observation lines of one satellite: five 16-column fields a line."""
    fields = []
    for t in range(ntypes):
        value = 20000000.0 + 1234567.891 * (sat_index + 1) + 0.125 * epoch_index + 1000.0 * t
        lli = " " if t % 3 else "0"
        fields.append("%14.3f%s%d" % (value, lli, 5 + (t % 4)))
    lines = []
    for i in range(0, max(ntypes, 1), 5):
        lines.append("".join(fields[i:i + 5]).rstrip() + CRLF)
    return "".join(lines)


def epoch(hh, mm, ss, sats, index, ntypes):
    head = " 19  5 25 %2d %2d %10.7f  0%3d" % (hh, mm, ss, len(sats))
    text = ""
    for i in range(0, len(sats), 12):
        prefix = head if i == 0 else " " * 32
        text += prefix + "".join(sats[i:i + 12]) + CRLF
    for n, _ in enumerate(sats):
        text += obs_lines(n, index, ntypes)
    return text


def event(hh, mm, ss, flag, count=None):
    line = " 19  5 25 %2d %2d %10.7f  %d" % (hh, mm, ss, flag)
    if count is not None:
        line += "%3d" % count
    return line + CRLF


BLANK_EVENT_4 = " " * 28 + "4  1" + CRLF
COMMENT = rec("   EXAMPLE COMMENT", "COMMENT")
MOVING = rec("               ***  ANTENNA IS NOW MOVING  ***", "COMMENT")


def block(epoch_text):
    return epoch_text[:28] + "2" + CRLF + BLANK_EVENT_4 + MOVING


def site(n):
    return rec("%03xK" % n, "MARKER NAME")


def worked_example(kinematic):
    """The stop-and-go section: input and expected output, with or without the moving block."""
    types = 4
    sats = ["G01", "G03", "G08"]
    e1 = epoch(1, 2, 30.0, sats, 0, types)
    e2 = epoch(1, 2, 31.0, sats, 1, types)
    e3 = epoch(1, 2, 32.0, sats, 2, types)
    e4 = epoch(1, 3, 1.0, sats, 3, types)
    open1 = event(1, 3, 0.0, 2)
    close1 = event(1, 5, 0.0, 2)
    open2 = event(1, 8, 0.0, 2)
    new_site = event(1, 10, 0.0, 3, 1) + rec("P001", "MARKER NAME")
    close2 = event(1, 12, 0.0, 2)
    occupation = BLANK_EVENT_4 + COMMENT

    source = (e1 + e2 + e3 + open1 + occupation + e4 + close1 + open2 + occupation + new_site
              + close2 + occupation)
    counted = lambda line: line[:-2] + "  2" + CRLF
    expected = ((block(e1) if kinematic else "") + e1 + (block(e2) if kinematic else "") + e2 + e3
                + counted(open1) + site(0) + COMMENT + e4 + close1 + counted(open2) + site(1)
                + COMMENT + new_site + close2 + occupation)
    return source, expected


def types_record(types):
    return rec("%6d" % len(types) + "".join("%6s" % t for t in types[:9]), "# / TYPES OF OBSERV")


def types_change():
    """A kinematic survey whose observation types change from 5 (one line a satellite) to 7 (two
    lines) and back, announced by header records after flag-4 and flag-3 events, inside and
    outside moving periods: input and expected output."""
    types5 = ["L1", "L2", "C1", "P2", "S1"]
    types7 = ["L1", "L2", "C1", "P1", "P2", "S1", "S2"]
    sats = ["G01", "G03", "G08"]
    counted = lambda line: line[:-2] + "  2" + CRLF
    announce = lambda records: " " * 28 + "4%3d" % records + CRLF
    e = [epoch(1, minute, 1.0, sats, minute, 5 if minute in (2, 8) else 7) for minute in range(13)]
    e[0] = epoch(1, 2, 0.0, sats, 0, 5)
    e[1] = epoch(1, 2, 0.5, sats, 1, 5)
    source = e[0] + e[1]
    expected = block(e[0]) + e[0] + block(e[1]) + e[1]
    # A moving period opens; its occupation brings seven types.
    open1 = event(1, 3, 0.0, 2)
    source += open1 + announce(2) + types_record(types7) + COMMENT + e[3]
    expected += counted(open1) + site(0) + types_record(types7) + COMMENT + e[3]
    source += event(1, 5, 0.0, 2) + e[5]
    expected += event(1, 5, 0.0, 2) + e[5]
    # The next occupation goes back to five types.
    open2 = event(1, 7, 0.0, 2)
    source += open2 + announce(2) + types_record(types5) + COMMENT + e[8]
    expected += counted(open2) + site(1) + types_record(types5) + COMMENT + e[8]
    # A new site announced by the file itself, with seven types: passed on unchanged.
    new_site = event(1, 9, 0.0, 3, 2) + rec("P001", "MARKER NAME") + types_record(types7)
    source += new_site + e[9]
    expected += new_site + e[9]
    # Closing that site; header information outside a moving period passes unchanged.
    outside = event(1, 10, 0.0, 2) + announce(1) + types_record(types7)
    source += outside + e[10]
    expected += outside + e[10]
    # A last moving period: its occupation keeps seven types.
    open3 = event(1, 11, 0.0, 2)
    source += open3 + announce(1) + COMMENT + e[12]
    expected += counted(open3) + site(2) + COMMENT + e[12]
    return header("????", types5), source, expected


def write(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(text.encode("ascii"))


def main():
    types4 = ["L1", "L2", "C1", "P2"]
    kin_header = header("????", types4)
    source, expected = worked_example(kinematic=True)
    write("examples/kinematic.19o", kin_header + source)
    write("tests/golden/kinematic.19o.expected", kin_header + expected)

    bad_header = header("BASE1", types4)
    fixed_header = bad_header.replace(rec("BASE1", "MARKER NAME"), rec("BASE", "MARKER NAME"))
    source, expected = worked_example(kinematic=False)
    write("examples/static_bad_id.19o", bad_header + source)
    write("tests/golden/static_bad_id.19o.expected", fixed_header + expected)

    write("examples/static_valid.19o", header("AB12", types4) + worked_example(False)[0])
    write("examples/gsi.19o", header("????", types4, run_by="GSI, JAPAN") + worked_example(True)[0])

    # Fourteen satellites, seven types: continuation of the satellite list, two lines a satellite.
    types7 = ["L1", "L2", "C1", "P1", "P2", "S1", "S2"]
    sats14 = ["G01", "G03", "G06", "G07", "G09", "G11", "G14", "G17", "G19", "G22", "G23", "G28",
              "R01", "R02"]
    h = header("????", types7, sats=sats14)
    e1 = epoch(3, 12, 30.0, sats14, 0, 7)
    e2 = epoch(3, 12, 31.0, sats14, 1, 7)
    e3 = epoch(3, 12, 32.0, sats14, 2, 7)
    write("tests/golden/fourteen_satellites.19o", h + e1 + e2 + e3)
    write("tests/golden/fourteen_satellites.19o.expected", h + block(e1) + e1 + block(e2) + e2 + e3)

    # Twelve types over two header lines: three observation lines a satellite.
    types12 = ["L1", "L2", "L5", "C1", "C2", "C5", "P1", "P2", "D1", "D2", "S1", "S2"]
    h = header("????", types12, sats=("G01", "G03"))
    e1 = epoch(4, 0, 0.0, ["G01", "G03"], 0, 12)
    e2 = epoch(4, 0, 1.0, ["G01", "G03"], 1, 12)
    tail = event(4, 0, 2.0, 2) + BLANK_EVENT_4 + COMMENT
    write("tests/golden/twelve_types.19o", h + e1 + e2 + tail)
    write("tests/golden/twelve_types.19o.expected",
          h + block(e1) + e1 + block(e2) + e2 + event(4, 0, 2.0, 2)[:-2] + "  2" + CRLF
          + site(0) + COMMENT)

    # Observation types that change after header-information events.
    h, source, expected = types_change()
    write("tests/golden/types_change.19o", h + source)
    write("tests/golden/types_change.19o.expected", h + expected)


if __name__ == "__main__":
    main()
