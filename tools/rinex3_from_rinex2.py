#!/usr/bin/env python3
"""Writes a RINEX 2 observation file of this project's test layout as RINEX 3 or 4.

    tools/rinex3_from_rinex2.py VERSION < input.19o > output.rnx

For hand-made test inputs with events (converters such as convbin drop event records): the
header's "# / TYPES OF OBSERV" becomes one "SYS / # / OBS TYPES" record per system seen (the
two-letter codes as C1C, L1C, ...), epoch records become ">" records (flag in column 31, count in
32-34, a blank time kept blank), each satellite's observations one line after its number, and
the special records after an event stand as they are. Line ends are kept as CR LF.
"""
import sys

CODES = {"L1": "L1C", "L2": "L2W", "C1": "C1C", "P1": "C1W", "P2": "C2W", "S1": "S1C",
         "S2": "S2W", "D1": "D1C", "D2": "D2W"}


def main():
    version = sys.argv[1]
    lines = sys.stdin.buffer.read().decode("ascii").split("\r\n")
    out = []
    types = []
    systems = set()
    at = 0
    header = []
    while at < len(lines):
        line = lines[at]
        at += 1
        header.append(line)
        if line[60:].startswith("END OF HEADER"):
            break
    body = lines[at:]
    # The systems seen in the epochs' satellite lists.
    for line in body:
        if len(line) > 32 and line[28] in "01" and line[0] == " " and line[3] == " ":
            for i in range(32, len(line.rstrip()), 3):
                systems.add(line[i] if line[i] != " " else "G")
    for line in header:
        label = line[60:].rstrip()
        if label == "RINEX VERSION / TYPE":
            out.append(f"{version:>9s}{'':11s}OBSERVATION DATA    M{'':19s}RINEX VERSION / TYPE")
        elif label == "# / TYPES OF OBSERV":
            types += line[6:60].split()
            if len(types) >= int(line[0:6]) if line[0:6].strip() else True:
                codes = " ".join(CODES[t] for t in types)
                for system in sorted(systems):
                    out.append(f"{system}   {len(types):2d} {codes:<53s}SYS / # / OBS TYPES ")
        elif label in ("WAVELENGTH FACT L1/2",):
            continue
        else:
            out.append(line)
    i = 0
    while i < len(body):
        line = body[i]
        i += 1
        if not line:
            out.append(line)
            continue
        flag = line[28] if len(line) > 28 else " "
        count = int(line[29:32]) if len(line) > 29 and line[29:32].strip() else 0
        blank = line[:26].strip() == ""
        if blank:
            time = " " * 28
        else:
            yy, mo, dd, hh, mi = (int(line[k:k + 3]) for k in (0, 3, 6, 9, 12))
            time = f" {2000 + yy:4d} {mo:02d} {dd:02d} {hh:02d} {mi:02d}{float(line[15:26]):11.7f}"
        if flag in "01":
            sats = []
            while len(sats) < count:
                listed = line[32:68].rstrip()
                sats += [listed[k:k + 3].replace(" ", "G") for k in range(0, len(listed), 3)]
                if len(sats) < count:
                    line = body[i]
                    i += 1
            out.append(f">{time}  {flag}{count:3d}{'':6s}")
            per = (len(types) + 4) // 5
            for sat in sats:
                fields = "".join(body[i + k][:80].ljust(80) for k in range(per))
                i += per
                out.append(sat + fields[:16 * len(types)].rstrip())
        else:
            out.append(f">{time}  {flag}{count:3d}" if count else f">{time}  {flag}")
            for _ in range(count):
                out.append(body[i])
                i += 1
    sys.stdout.buffer.write("\r\n".join(out).encode("ascii"))


main()
