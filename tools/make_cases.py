#!/usr/bin/env python3
"""Writes the bundled example observation files and the test cases under tests/cases/.

Each case is a folder (see tests/cases/README.md): the input, or a recipe of pieces for a large
or hostile one; the expected result; and a file `case` with what the program says and leaves.
The expected outputs are composed here by hand from the conversion rules (moving-antenna block,
record counts, site MARKER NAME records), never by running the converter, so that the tests
check the converter against an independent statement of the rules. Folders that this script
does not write (cases made by hand) are left alone.

Run from the repository root:
  python3 tools/make_cases.py          writes the examples and the cases
  python3 tools/make_cases.py --check  fails when the committed files differ
"""
import os
import sys

CRLF = "\r\n"
CASES = os.path.join("tests", "cases")
OK = "[OK] 変換完了"
OK_STATIC = "[OK] Staticデータです。Station IDが英数字4文字ではないため修正しました。"
NG_STATIC = "[NG] このRINEXデータはStaticで取得されたものです。変換する必要はありません。"
NG_GSI = "[NG] このRINEXデータは国土地理院のデータです。変換する必要はありません。"
NG_CONVERTED = "[NG] すでに変換済のRINEXデータです。"
NG_SITE_IDS = "[NG] SITE IDの割り付け上限を越えました。"


def shown(text, tag):
    """The diagnostic text of a conversion that wrote `text` and stopped with `tag`: every line
    written, with one more line feed, then the tag."""
    return "".join(line + "\n" for line in text.splitlines(keepends=True)) + tag


def header_error(line):
    return ("[NG] " + line + " \nヘッダにエラーがありました。\nSpectra Precision社のRinexConverterを"
            "使用していない可能性があります。\nプログラムを終了します。")


# --- Records ---------------------------------------------------------------------------------

def rec(text, label):
    """An 80-column header-type record: 60 columns of text, a 20-column label, CR LF."""
    assert len(text) <= 60 and len(label) <= 20
    return text.ljust(60) + label.ljust(20) + CRLF


CODES = ["L1", "L2", "C1", "P1", "P2", "S1", "S2", "D1", "D2", "C2", "L5", "C5", "D5", "S5", "P5"]


def types_records(types, count=None):
    count = len(types) if count is None else count
    lines = [rec("%6d" % count + "".join("%6s" % t for t in types[:9]), "# / TYPES OF OBSERV")]
    if len(types) > 9:
        lines.append(rec("      " + "".join("%6s" % t for t in types[9:]), "# / TYPES OF OBSERV"))
    return "".join(lines)


def header(marker, types, run_by="FIELD TEAM", sats=("G01", "G03", "G08"), end=True):
    lines = [
        rec("     2.11           OBSERVATION DATA    G (GPS)", "RINEX VERSION / TYPE"),
        rec("RNXCONV 1.0".ljust(20) + run_by.ljust(20) + "20190525 010000 UTC", "PGM / RUN BY / DATE"),
        rec("Example survey for ferrule", "COMMENT"),
        rec(marker, "MARKER NAME"),
        rec("0001", "MARKER NUMBER"),
        rec("SURVEYOR".ljust(20) + "FERRULE SURVEY", "OBSERVER / AGENCY"),
        rec("5435R40017          GNSS RX 10          4.10", "REC # / TYPE / VERS"),
        rec("1234                GNSS ANT 10", "ANT # / TYPE"),
        rec(" -3961904.9260  3348993.7640  3698211.7400", "APPROX POSITION XYZ"),
        rec("        1.5000        0.1230       -0.0450", "ANTENNA: DELTA H/E/N"),
        rec("     1     1", "WAVELENGTH FACT L1/2"),
        types_records(types),
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
    if end:
        lines.append(rec("", "END OF HEADER"))
    return "".join(lines)


def survey(marker, types, epochs, first, last, occupations=(), repaired=None):
    """What describeSurvey says of a header made by header(): the values put into it; then the
    repaired station identifier, and the occupations given site identifiers, as (time, comment)."""
    shown = " ".join(t for t in types)
    return ("RINEX: 2.11 O G\n"
            "作成: RNXCONV 1.0 / FIELD TEAM / 20190525 010000 UTC\n"
            "マーカー名: %s\n"
            "マーカー番号: 0001\n"
            "観測者 / 機関: SURVEYOR / FERRULE SURVEY\n"
            "受信機 番号 / 種類 / 版: 5435R40017 / GNSS RX 10 / 4.10\n"
            "アンテナ 番号 / 種類: 1234 / GNSS ANT 10\n"
            "概略位置 XYZ: -3961904.9260 3348993.7640 3698211.7400\n"
            "アンテナ高 H/E/N: 1.5000 0.1230 -0.0450\n"
            "波長係数 L1/L2: 1 1\n"
            "観測種別: %d (%s)\n"
            "観測間隔: 1.000\n"
            "最初の観測: 2019-05-25 01:02:30 GPS\n"
            "うるう秒: 18\n"
            "衛星数: 3\n"
            "エポック: %d (%s - %s)\n") % (marker, len(types), shown, epochs, first, last) + (
                "Station ID の修正: %s → %s\n" % (marker, repaired) if repaired else "") + (
                "観測点: %d\n" % len(occupations) if occupations else "") + "".join(
                "  %03xK  19-05-25 %s  %s\n" % (n, time, comment)
                for n, (time, comment) in enumerate(occupations))


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


def epoch_line(hh, mm, ss, flag=0, count=None):
    line = " 19  5 25 %2d %2d %10.7f  %d" % (hh, mm, ss, flag)
    return line + ("%3d" % count if count is not None else "")


def epoch(hh, mm, ss, sats, index, ntypes, pad=False, clock=None):
    """An epoch: its line, satellite-list continuation lines (12 a line), observation lines.
    `pad` fills the list lines with blanks to 80 columns; `clock` adds a receiver clock offset."""
    head = epoch_line(hh, mm, ss, 0, len(sats))
    text = ""
    for i in range(0, len(sats), 12):
        line = (head if i == 0 else " " * 32) + "".join(sats[i:i + 12])
        if clock is not None and i == 0:
            line = line.ljust(68) + "%12.9f" % clock
        text += (line.ljust(80) if pad else line) + CRLF
    for n, _ in enumerate(sats):
        text += obs_lines(n, index, ntypes)
    return text


def event(hh, mm, ss, flag, count=None):
    return epoch_line(hh, mm, ss, flag, count) + CRLF


BLANK_EVENT_4 = " " * 28 + "4  1" + CRLF
COMMENT = rec("   EXAMPLE COMMENT", "COMMENT")
MOVING = rec("               ***  ANTENNA IS NOW MOVING  ***", "COMMENT")


def block(epoch_text):
    """The moving-antenna block before an epoch: its first 28 columns with flag 2, then the
    header-information record and the comment. A shorter line is padded with blanks."""
    first = epoch_text.split(CRLF)[0]
    return first[:28].ljust(28) + "2" + CRLF + BLANK_EVENT_4 + MOVING


def site(n):
    return rec("%03xK" % n, "MARKER NAME")


def counted(line):
    """A flag-2 record that opens a moving period: cut at its line end, then the count 2."""
    return line.split("\n")[0].split("\r")[0] + "  2" + CRLF


SATS3 = ["G01", "G03", "G08"]
TYPES4 = ["L1", "L2", "C1", "P2"]
SATS = ["G%02d" % n for n in range(1, 33)] + ["R%02d" % n for n in range(1, 25)]


def worked_example(kinematic):
    """The stop-and-go section: input and expected output, with or without the moving block."""
    e1 = epoch(1, 2, 30.0, SATS3, 0, 4)
    e2 = epoch(1, 2, 31.0, SATS3, 1, 4)
    e3 = epoch(1, 2, 32.0, SATS3, 2, 4)
    e4 = epoch(1, 3, 1.0, SATS3, 3, 4)
    open1, close1 = event(1, 3, 0.0, 2), event(1, 5, 0.0, 2)
    open2, close2 = event(1, 8, 0.0, 2), event(1, 12, 0.0, 2)
    new_site = event(1, 10, 0.0, 3, 1) + rec("P001", "MARKER NAME")
    occupation = BLANK_EVENT_4 + COMMENT
    source = (e1 + e2 + e3 + open1 + occupation + e4 + close1 + open2 + occupation + new_site
              + close2 + occupation)
    expected = ((block(e1) if kinematic else "") + e1 + (block(e2) if kinematic else "") + e2 + e3
                + counted(open1) + site(0) + COMMENT + e4 + close1 + counted(open2) + site(1)
                + COMMENT + new_site + close2 + occupation)
    return source, expected


def types_change():
    """Observation types that change from 5 (one line a satellite) to 7 (two lines) and back,
    announced by header records after flag-4 and flag-3 events, inside and outside moving
    periods: input and expected output."""
    types5, types7 = CODES[:5], CODES[:7]
    announce = lambda records: " " * 28 + "4%3d" % records + CRLF
    e = [epoch(1, minute, 1.0, SATS3, minute, 5 if minute in (2, 8) else 7) for minute in range(13)]
    e[0] = epoch(1, 2, 0.0, SATS3, 0, 5)
    e[1] = epoch(1, 2, 0.5, SATS3, 1, 5)
    source = e[0] + e[1]
    expected = block(e[0]) + e[0] + block(e[1]) + e[1]
    open1 = event(1, 3, 0.0, 2)  # a moving period opens; its occupation brings seven types
    source += open1 + announce(2) + types_records(types7) + COMMENT + e[3]
    expected += counted(open1) + site(0) + types_records(types7) + COMMENT + e[3]
    source += event(1, 5, 0.0, 2) + e[5]
    expected += event(1, 5, 0.0, 2) + e[5]
    open2 = event(1, 7, 0.0, 2)  # the next occupation goes back to five types
    source += open2 + announce(2) + types_records(types5) + COMMENT + e[8]
    expected += counted(open2) + site(1) + types_records(types5) + COMMENT + e[8]
    # A new site announced by the file itself, with seven types: passed on unchanged; then
    # header information outside a moving period, also unchanged.
    unchanged = (event(1, 9, 0.0, 3, 2) + rec("P001", "MARKER NAME") + types_records(types7) + e[9]
                 + event(1, 10, 0.0, 2) + announce(1) + types_records(types7) + e[10])
    source += unchanged
    expected += unchanged
    open3 = event(1, 11, 0.0, 2)  # a last moving period keeps seven types
    source += open3 + announce(1) + COMMENT + e[12]
    expected += counted(open3) + site(2) + COMMENT + e[12]
    # After an external event (flag 5) a types record changes nothing: the survey still shows seven.
    external = event(1, 12, 30.0, 5, 1) + types_records(types5)
    return header("????", types5), source + external, expected + external


def types_n(n):
    """A kinematic survey with n observation types and epochs of 12, 13, 25 and 36 satellites
    (satellite lists of one, two and three lines), with one occupation."""
    types = CODES[:n]
    e = [epoch(2, 0, float(k), SATS[:count], k, n) for k, count in enumerate((12, 13, 25, 36, 12))]
    open1, close1 = event(2, 0, 2.5, 2), event(2, 0, 3.5, 2)
    source = e[0] + e[1] + e[2] + open1 + BLANK_EVENT_4 + COMMENT + e[3] + close1 + e[4]
    expected = (block(e[0]) + e[0] + block(e[1]) + e[1] + e[2] + counted(open1) + site(0) + COMMENT
                + e[3] + close1 + e[4])
    return header("????", types), source, expected


# --- Writing ---------------------------------------------------------------------------------

class Writer:
    def __init__(self, check):
        self.check = check
        self.differ = []

    def write(self, path, data):
        if isinstance(data, str):
            data = data.encode("utf-8")
        if self.check:
            try:
                with open(path, "rb") as f:
                    same = f.read() == data
            except OSError:
                same = False
            if not same:
                self.differ.append(path)
            return
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)

    def case(self, case_name, told, input=None, expected=None, temp=None, pieces=None, **keys):
        """A case folder. `input`, `expected` and `temp` are texts; `pieces` maps those names to
        recipes. The other keys go into the file `case`, in order."""
        folder = os.path.join(CASES, case_name)
        for file, text in (("input", input), ("expected", expected), ("temp", temp)):
            if text is not None:
                self.write(os.path.join(folder, file), text.encode("latin-1"))
        for file, text in (pieces or {}).items():
            self.write(os.path.join(folder, file + ".pieces"), text)
        lines = ["told: " + keyed(told)]
        for key, value in keys.items():
            if key in ("survey", "debug", "stdout", "stderr"):
                self.write(os.path.join(folder, key), value)
            else:
                lines.append(key + ": " + keyed(str(value)))
        self.write(os.path.join(folder, "case"), "\n".join(lines) + "\n")


def keyed(text):
    """A value of a key in `case`: backslash escapes for LF and the backslash."""
    return text.replace("\\", "\\\\").replace("\n", "\\n")


def utf8(text):
    """Text as the bytes of its UTF-8 encoding, one character a byte (as inputs are written)."""
    return text.encode("utf-8").decode("latin-1")


def escaped(text):
    """Text for a pieces file: backslash escapes for CR, LF, NUL and the backslash."""
    return (text.replace("\\", "\\\\").replace("\r", "\\r").replace("\n", "\\n")
            .replace("\0", "\\0"))


def recipe(*pieces):
    """A pieces file: (count, text) pairs, or a path below the source tree to include."""
    lines = []
    for piece in pieces:
        if isinstance(piece, tuple):
            lines.append("%s %s" % (piece[0], escaped(piece[1])))
        else:
            lines.append("< " + piece)
    return "\n".join(lines) + "\n"


def main():
    out = Writer("--check" in sys.argv)
    kin_header = header("????", TYPES4)
    source, expected = worked_example(kinematic=True)
    kinematic = kin_header + source
    out.write("examples/kinematic.19o", kinematic)
    out.write("examples/static_bad_id.19o", header("BASE1", TYPES4) + worked_example(False)[0])
    out.write("examples/static_valid.19o", header("AB12", TYPES4) + worked_example(False)[0])
    out.write("examples/gsi.19o", header("????", TYPES4, run_by="GSI, JAPAN") + source)
    times = " 19  5 25  1  2 30.0000000", " 19  5 25  1  3  1.0000000"
    first, last = "19-05-25 01:02:30.0000000", "19-05-25 01:03:01.0000000"
    # The occupations take the time of the flag-2 record that opened their moving period, as
    # their flag-4 records have blank times.
    sites = [("01:03:00.0000000", "EXAMPLE COMMENT"), ("01:08:00.0000000", "EXAMPLE COMMENT")]
    out.case("kinematic", OK, kinematic, kin_header + expected,
             survey=survey("????", TYPES4, 4, first, last, sites))

    # The marker name decides the fate of the whole file.
    static_source, static_expected = worked_example(kinematic=False)
    for name, marker, repaired in [
        ("marker-static", "AB12", None), ("marker-static-lower-case", "ab12", None),
        ("marker-static-digits", "0123", None), ("marker-repaired", "BASE1", "BASE"),
        ("marker-repaired-hyphen", "AB-2", "ABZ2"), ("marker-repaired-short", "A", "AZZZ"),
        ("marker-repaired-blank", "", "ZZZZ"), ("marker-repaired-question-marks", "????0001", "ZZZZ"),
            ("marker-repaired-tab", "AB12\t", "AB12")]:
        h = header(marker, TYPES4)
        if repaired is None:
            out.case(name, NG_STATIC, h + static_source, debug=shown(h[:82 * 3], "Static Data \n"))
            continue
        fixed = h.replace(rec(marker, "MARKER NAME"), rec(repaired, "MARKER NAME"))
        extra = {}
        if name == "marker-repaired":
            # Every line written goes to the debug channel with one more line feed; each
            # failure or repair gets its tag.
            debug = ""
            for line in (fixed + static_expected).split(CRLF)[:-1]:
                if line.startswith("BASE "):
                    debug += "Static Data:StationID change\n"
                if line[:4] not in ("000K", "001K"):  # site records are not shown
                    debug += line + "\r\n\n"
            extra = {"debug": debug, "survey": survey("BASE1", TYPES4, 4, first, last, sites,
                                                            repaired="BASE")}
        out.case(name, OK_STATIC, h + static_source, fixed + static_expected, **extra)
    gsi = header("????", TYPES4, run_by="GSI, JAPAN")
    out.case("gsi", NG_GSI, gsi + source, debug=shown(gsi[:82], "Error GSI \n"))

    # Every text field of the header filled to its last column, and a TIME OF LAST OBS record.
    full = (kin_header
            .replace(rec("RNXCONV 1.0".ljust(20) + "FIELD TEAM".ljust(20) + "20190525 010000 UTC",
                         "PGM / RUN BY / DATE"),
                     rec("RNXCONV 1.0 BUILD 77FIELD TEAM OF OFFICE2019-05-25 01:00:00Z",
                         "PGM / RUN BY / DATE"))
            .replace(rec("0001", "MARKER NUMBER"), rec("KINEMATIC-TEST-00001", "MARKER NUMBER"))
            .replace(rec("SURVEYOR".ljust(20) + "FERRULE SURVEY", "OBSERVER / AGENCY"),
                     rec("SURVEYOR TARO YAMADAFERRULE SURVEY OFFICE, TOKYO BRANCH 0001",
                         "OBSERVER / AGENCY"))
            .replace(rec("5435R40017          GNSS RX 10          4.10", "REC # / TYPE / VERS"),
                     rec("5435R40017-A1B2C3D4EGNSS RX 10 PROFESSNL4.10 BUILD 2019-05-1",
                         "REC # / TYPE / VERS"))
            .replace(rec("1234                GNSS ANT 10", "ANT # / TYPE"),
                     rec("1234-5678-9012-34567GNSS ANT 10 CHOKE RG", "ANT # / TYPE")
                     + rec("  2019     5    25     1    12   30.0000000     GPS", "TIME OF LAST OBS"))
            # every digit of the position counts; a pole height only, as receivers write it
            .replace(rec(" -3961904.9260  3348993.7640  3698211.7400", "APPROX POSITION XYZ"),
                     rec(" -3961904.9263  3348993.7647  3698211.7409", "APPROX POSITION XYZ"))
            .replace(rec("        1.5000        0.1230       -0.0450", "ANTENNA: DELTA H/E/N"),
                     rec("        1.5230        0.0000        0.0000", "ANTENNA: DELTA H/E/N")))
    out.case("header-fields-full", OK, full + source, full + expected, survey=(
        survey("????", TYPES4, 4, first, last, sites)
        .replace("作成: RNXCONV 1.0 / FIELD TEAM / 20190525 010000 UTC",
                 "作成: RNXCONV 1.0 BUILD 77 / FIELD TEAM OF OFFICE / 2019-05-25 01:00:00Z")
        .replace("マーカー番号: 0001", "マーカー番号: KINEMATIC-TEST-00001")
        .replace("観測者 / 機関: SURVEYOR / FERRULE SURVEY",
                 "観測者 / 機関: SURVEYOR TARO YAMADA / FERRULE SURVEY OFFICE, TOKYO BRANCH 0001")
        .replace("5435R40017 / GNSS RX 10 / 4.10",
                 "5435R40017-A1B2C3D4E / GNSS RX 10 PROFESSNL / 4.10 BUILD 2019-05-1")
        .replace("1234 / GNSS ANT 10", "1234-5678-9012-34567 / GNSS ANT 10 CHOKE RG")
        .replace("うるう秒", "最後の観測: 2019-05-25 01:12:30 GPS\nうるう秒")
        .replace("-3961904.9260 3348993.7640 3698211.7400", "-3961904.9263 3348993.7647 3698211.7409")
        .replace("1.5000 0.1230 -0.0450", "1.5230 0.0000 0.0000")))

    # Satellite lists and observation lines of every length.
    for n in (5, 6, 10, 11, 15):
        h, s, e = types_n(n)
        extra = {}
        if n == 15:  # every recognised code, shown in its slot
            extra["survey"] = survey("????", CODES, 5, "19-05-25 02:00:00.0000000",
                                     "19-05-25 02:00:04.0000000",
                                     [("02:00:02.5000000", "EXAMPLE COMMENT")])
        out.case("types-%d" % n, OK, h + s, h + e, **extra)
    h, s, e = types_change()
    out.case("types-change", OK, h + s, h + e,
             survey=survey("????", CODES[:7], 8, "19-05-25 01:02:00.0000000",
                           "19-05-25 01:12:01.0000000",
                           [("%s:00.0000000" % t, "EXAMPLE COMMENT") for t in ("01:03", "01:07", "01:11")]))
    sixteen = types_records(CODES[:9], 16).split(CRLF)[0] + CRLF
    out.case("types-16", header_error(sixteen), header("????", CODES[:15]).replace(
        types_records(CODES[:15]), sixteen))
    midfile = kinematic.replace(event(1, 3, 0.0, 2), event(1, 2, 59.0, 4, 1) + sixteen + event(1, 3, 0.0, 2))
    out.case("types-16-after-an-event", header_error(sixteen), midfile)
    twelve = CODES[:12]
    e1, e2 = epoch(4, 0, 0.0, ["G01", "G03"], 0, 12), epoch(4, 0, 1.0, ["G01", "G03"], 1, 12)
    tail = event(4, 0, 2.0, 2) + BLANK_EVENT_4 + COMMENT
    h = header("????", twelve, sats=("G01", "G03"))
    out.case("types-12-on-two-header-lines", OK, h + e1 + e2 + tail,
             h + block(e1) + e1 + block(e2) + e2 + counted(event(4, 0, 2.0, 2)) + site(0) + COMMENT,
             survey=survey("????", twelve, 2, "19-05-25 04:00:00.0000000", "19-05-25 04:00:01.0000000",
                           [("04:00:02.0000000", "EXAMPLE COMMENT")])
             .replace("衛星数: 3", "衛星数: 2"))

    # Epoch lines in other shapes: flag-1 and flag-6 epochs carry satellites and observation
    # lines (whose column 28 holds digits); a receiver clock offset, or blanks to 80 columns,
    # make an epoch line 82 bytes long without making it a special record.
    e = [epoch(1, 2, float(k), SATS3, k, 4) for k in range(4)]
    flagged = (epoch(1, 2, 4.0, SATS3[:2], 4, 4).replace(epoch_line(1, 2, 4.0, 0, 2),
                                                         epoch_line(1, 2, 4.0, 6, 2))
               + epoch(1, 2, 5.0, SATS3, 5, 4).replace(epoch_line(1, 2, 5.0, 0, 3),
                                                       epoch_line(1, 2, 5.0, 1, 3)))
    out.case("flag-1-and-6-epochs", OK, kin_header + e[0] + e[1] + flagged + e[2],
             kin_header + block(e[0]) + e[0] + block(e[1]) + e[1] + flagged + e[2],
             survey=survey("????", TYPES4, 3, "19-05-25 01:02:00.0000000", "19-05-25 01:02:02.0000000"))
    c = [epoch(1, 2, float(k), SATS3, k, 4, clock=0.000123456 * (k - 1)) for k in range(3)]
    out.case("epoch-with-clock-offset", OK, kin_header + "".join(c),
             kin_header + block(c[0]) + c[0] + block(c[1]) + c[1] + c[2])
    # (satellite numbers below 10 with a blank for their tens, as the format allows)
    p = [epoch(1, 2, float(k), [sat.replace("G0", "G ") for sat in SATS[:13 if k < 2 else 25]], k,
               4, pad=True) for k in range(3)]
    opening = event(1, 3, 0.0, 2).replace(CRLF, " " * 51 + CRLF)
    out.case("lines-padded-to-80-columns", OK,
             kin_header + p[0] + p[1] + opening + BLANK_EVENT_4 + COMMENT + p[2],
             kin_header + block(p[0]) + p[0] + block(p[1]) + p[1] + opening[:-2] + "  2" + CRLF
             + site(0) + COMMENT + p[2])

    # A special record that no record count announces is still one: not an epoch line.
    unannounced = event(1, 2, 0.5, 3) + COMMENT
    out.case("comment-record-unannounced-after-a-flag-3", OK, kin_header + e[0] + unannounced + e[1],
             kin_header + block(e[0]) + e[0] + unannounced + block(e[1]) + e[1])

    # Special records with their trailing blanks dropped, as announced by the record count: still
    # special records, as many as announced (the epoch line after them has a blank flag column).
    # (The flag-2 record after the new site closes it; the next one opens a moving period.)
    new_site = event(1, 2, 0.5, 3, 2) + "P001" + CRLF + "   SHORT COMMENT" + CRLF
    e13 = epoch(1, 2, 1.0, SATS[:13], 1, 4)
    e13 = e13[:28] + " " + e13[29:]  # a blank event flag reads as 0
    close1, open1 = event(1, 2, 59.0, 2), event(1, 3, 0.0, 2)
    out.case("event-records-without-trailing-blanks", OK,
             kin_header + e[0] + new_site + e13 + close1 + open1 + BLANK_EVENT_4 + COMMENT + e[2],
             kin_header + block(e[0]) + e[0] + new_site + block(e13) + e13 + close1
             + counted(open1) + site(0) + COMMENT + e[2])

    # The event records: text after the flag is kept, a short first epoch is padded.
    opening = " 19  5 25  1  3  0.0000000  2  1   " + CRLF
    out.case("flag-2-keeps-its-text", OK, kin_header + e[0] + opening + COMMENT,
             kin_header + block(e[0]) + e[0] + opening[:-2] + "  2" + CRLF + COMMENT)
    short = " 19  5 25  1  2" + CRLF
    out.case("short-first-epoch", OK, kin_header + short, kin_header + block(short) + short)

    # Refused and stopped files.
    converted = kin_header + expected
    out.case("already-converted", NG_CONVERTED, converted, temp=kin_header,
             files="site.19o site.19o_temp", debug=shown(kin_header, "Error \n"))
    # Occupations announced by flag-4 records without special records: 2049 identifiers, 000K to
    # 800K, are assigned; the 2050th stops the conversion and leaves what was written.
    opening = event(1, 3, 0.0, 2)
    bare = " " * 28 + "4  0" + CRLF
    out.case("site-identifier-limit", NG_SITE_IDS, files="site.19o site.19o_temp",
             pieces={"input": recipe("examples/kinematic.19o 0 %d" % len(kin_header),
                                     (1, e[0] + opening), (2050, bare))},
             temp=kin_header + block(e[0]) + e[0] + counted(opening)
             + "".join(site(k) for k in range(2049)),
             debug=shown(kin_header + e[0] + counted(opening), "SITE ID Assign Error \n"))

    # An occupation whose flag-4 record has a time of its own takes it, with every COMMENT record
    # among the special records that follow, whatever comes between them.
    open1 = event(1, 3, 0.0, 2)
    comments = (rec("   POINT A1", "COMMENT") + rec("        1.5000        0.0000        0.0000",
                                                      "ANTENNA: DELTA H/E/N")
                + rec("HEIGHT TO THE MARK", "COMMENT"))
    out.case("occupation-with-its-own-time", OK,
             kin_header + e[0] + e[1] + open1 + event(1, 3, 5.0, 4, 3) + comments + e[2],
             kin_header + block(e[0]) + e[0] + block(e[1]) + e[1] + counted(open1) + site(0)
             + comments + e[2],
             survey=survey("????", TYPES4, 3, "19-05-25 01:02:00.0000000", "19-05-25 01:02:02.0000000",
                           [("01:03:05.0000000", "POINT A1  HEIGHT TO THE MARK")]))

    # A comment that would paint a false outcome on a terminal (clear the line, "[OK]", a C1
    # control sequence introducer in UTF-8): the survey shows it escaped, the converted file
    # keeps it byte for byte.
    painting = rec(utf8("\x1b[2K\r[OK] 変換完了\u009b8m"), "COMMENT")
    out.case("occupation-comment-painting-an-outcome", OK,
             kin_header + e[0] + e[1] + open1 + BLANK_EVENT_4 + painting + e[2],
             kin_header + block(e[0]) + e[0] + block(e[1]) + e[1] + counted(open1) + site(0)
             + painting + e[2],
             survey=survey("????", TYPES4, 3, "19-05-25 01:02:00.0000000", "19-05-25 01:02:02.0000000",
                           [("01:03:00.0000000", "\\x1b[2K\\r[OK] 変換完了\\xc2\\x9b8m")]))

    # Header errors: the 82-byte rule, the label table, the limits.
    clock = rec("     0", "RCV CLOCK OFFS APPL")
    out.case("header-unknown-label", header_error(clock),
             kinematic[:82 * 3] + clock + kinematic[82 * 3:], debug=shown(kinematic[:82 * 3], "Error \n"))
    # A line that would paint a false outcome on a terminal (up a line, clear it, "[OK]", hide the
    # rest) is quoted with its control characters escaped; its own CR LF stays.
    painting = rec(utf8("\x1b[1A\x1b[2K\r[OK] 変換完了\x1b[8m"), "RCV CLOCK OFFS APPL")
    out.case("header-line-painting-an-outcome",
             header_error("\\x1b[1A\\x1b[2K\\r[OK] 変換完了\\x1b[8m" + " " * 30
                          + "RCV CLOCK OFFS APPL " + CRLF),
             kinematic[:82 * 3] + painting + kinematic[82 * 3:])
    out.case("header-lf-line-ends", header_error(""), kinematic.replace("\r", ""))
    grown = kinematic[:82 * 2 + 70] + " " + kinematic[82 * 2 + 70:]  # a COMMENT of 81 columns
    # (The quote begins with the line feed of the 81-column line, shown escaped.)
    out.case("header-line-of-81-columns",
             header_error("\\n" + grown[82 * 3 + 1:grown.index("\n", 82 * 3 + 1) + 1]), grown)
    lower = kinematic.replace("COMMENT             ", "comment             ", 1)
    out.case("header-label-in-lower-case", header_error(lower[164:246]), lower)
    after = kinematic.replace("COMMENT             ", "COMMENT    x        ", 1)
    out.case("header-text-after-the-label", header_error(after[164:246]), after)
    out.case("header-nul-byte", header_error(""), kinematic[:5] + "\0" + kinematic[6:])
    out.case("header-line-without-end", header_error("y" * 255), pieces={"input": recipe((70000, "y"))})
    out.case("header-without-end-of-header", OK, kin_header[:-82] + COMMENT * 3,
             kin_header[:-82] + COMMENT * 3)
    # A header of comments alone: nothing to say of it.
    out.case("header-of-comments-only", OK, COMMENT + rec("", "END OF HEADER"),
             COMMENT + rec("", "END OF HEADER"), survey="")

    # What follows the last line feed is written as it stands.
    out.case("unfinished-header-line", OK, kin_header[:122], kin_header[:122])
    out.case("unfinished-observation-line", OK, kin_header + e[0] + "  21234567.891",
             kin_header + block(e[0]) + e[0] + "  21234567.891")
    out.case("unfinished-epoch-line", OK, kin_header + e[0] + e[1][:30],
             kin_header + block(e[0]) + e[0] + e[1][:30])
    out.case("empty-input", OK, "", "")

    # Lines longer than 64 KiB pass whole, or are rewritten whole.
    x = (70000, "x")
    head = "examples/kinematic.19o 0 %d" % len(kin_header)
    flag2 = " 19  5 25  1  3  0.0000000  2"
    before = (1, block(e[0]) + e[0])
    # The last satellite's observation line of the first epoch is long.
    short_of_one = e[0][:e[0].rindex(CRLF, 0, len(e[0]) - 2) + 2]
    out.case("long-observation-line", OK,
             pieces={"input": recipe(head, (1, short_of_one + "  2"), x, (1, CRLF)),
                     "expected": recipe(head, (1, block(e[0]) + short_of_one + "  2"), x,
                                        (1, CRLF))})
    out.case("long-line-of-nul-bytes", OK,
             pieces={"input": recipe(head, (1, short_of_one), (70000, "\0"), (1, CRLF)),
                     "expected": recipe(head, (1, block(e[0]) + short_of_one), (70000, "\0"),
                                        (1, CRLF))})
    out.case("long-flag-2-cut-at-its-carriage-return", OK,
             pieces={"input": recipe(head, (1, e[0] + flag2), x, (1, "\r"), x, (1, CRLF)),
                     "expected": recipe(head, before, (1, flag2), x, (1, "  2" + CRLF))})
    out.case("long-flag-2-with-early-carriage-return", OK,
             pieces={"input": recipe(head, (1, e[0] + flag2 + "\r"), x, (1, CRLF)),
                     "expected": recipe(head, before, (1, flag2 + "  2" + CRLF))})
    out.case("long-flag-4-replaced-whole", OK,
             pieces={"input": recipe(head, (1, e[0] + flag2 + CRLF + " " * 28 + "4  1"), x,
                                     (1, CRLF + e[1])),
                     "expected": recipe(head, before, (1, flag2 + "  2" + CRLF + site(0)
                                                       + block(e[1]) + e[1]))})
    out.case("long-last-line-without-line-feed", OK,
             pieces={"input": recipe(head, (1, e[0] + flag2 + CRLF + " " * 28 + "4  1"), x),
                     "expected": recipe(head, before, (1, flag2 + "  2" + CRLF + site(0)))})
    out.case("long-epoch-line", OK,
             pieces={"input": recipe(head, (1, e[0][:35]), x, (1, CRLF)),
                     "expected": recipe(head, (1, block(e[0]) + e[0][:35]), x, (1, CRLF))})

    # Hostile inputs at full size (FERRULE_HOSTILE_BYTES, 1 GiB unless set): bounded memory,
    # time proportional to the size, nothing dropped.
    filler = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+-"
    first_epoch = epoch(1, 2, 30.0, SATS3, 0, 4)
    rest = source[len(first_epoch):]
    rest_expected = expected[len(block(first_epoch) + first_epoch + block(rest)):]
    out.case("hostile-gigabyte-line", OK, bounded="yes",
             pieces={"input": recipe(head, (1, first_epoch), ("*", filler), (1, CRLF + rest)),
                     "expected": recipe(head, (1, block(first_epoch) + first_epoch + block(filler)),
                                        ("*", filler), (1, CRLF + rest_expected))})
    out.case("hostile-gigabyte-without-line-feed", header_error((filler * 4)[:255]), bounded="yes",
             pieces={"input": recipe(("*", filler))})
    out.case("hostile-ten-million-empty-lines", OK, bounded="yes",
             pieces={"input": recipe(head, (10000000, CRLF)),
                     "expected": recipe(head, (2, block(CRLF) + CRLF), (9999998, CRLF))})
    out.case("hostile-comments-after-an-occupation", OK, bounded="yes",
             pieces={"input": recipe(head, (1, e[0] + e[1] + open1 + BLANK_EVENT_4), ("*", COMMENT)),
                     "expected": recipe(head, (1, block(e[0]) + e[0] + block(e[1]) + e[1]
                                               + counted(open1) + site(0)), ("*", COMMENT))},
             survey=survey("????", TYPES4, 2, "19-05-25 01:02:00.0000000",
                           "19-05-25 01:02:01.0000000",
                           [("01:03:00.0000000", "  ".join(["EXAMPLE COMMENT"] * 16))]))
    without_end = "examples/kinematic.19o 0 %d" % (len(kin_header) - 82)
    out.case("hostile-comments-without-end-of-header", OK, bounded="yes",
             pieces={"input": recipe(without_end, (100000, COMMENT)),
                     "expected": recipe(without_end, (100000, COMMENT))})
    # Epochs announcing 999 satellites, listed on 84 lines, one observation line each.
    many = lambda k: [(1, epoch_line(1, k, 0.0, 0, 999) + "G01" * 12 + CRLF),
                      (83, " " * 32 + "G01" * 12 + CRLF), (999, obs_lines(0, 0, 4))]
    out.case("hostile-epochs-of-999-satellites", OK,
             pieces={"input": recipe(head, *many(0), *many(1), *many(2)),
                     "expected": recipe(head, (1, block(epoch_line(1, 0, 0.0))), *many(0),
                                        (1, block(epoch_line(1, 1, 0.0))), *many(1), *many(2))})

    # Real files (tests/data/real/) and the variants tools/make_real_fixtures.py derives from them.
    real = lambda file: "tests/data/real/" + file
    derived = lambda file: real("derived/" + file)
    clock_record = rec("     0", "RCV CLOCK OFFS APPL")
    for name, file, told, has_expected in [
            ("real-geonet-lf-line-ends", real("07590920.05o"), header_error(""), False),
            ("real-demo-lf-line-ends", real("demo.10o"), header_error(""), False),
            ("real-one-satellite-static", real("rinex2onesat.10o"), NG_STATIC, False),
            ("real-trimble-clock-record", real("14601736.18o"), header_error(clock_record), False),
            ("real-geonet-gsi", derived("geonet_normalised.05o"), NG_GSI, False),
            ("real-geonet-static", derived("geonet_static.05o"), NG_STATIC, False),
            ("real-geonet-repaired", derived("geonet_bad_id.05o"), OK_STATIC, True),
            ("real-geonet-kinematic", derived("geonet_kinematic.05o"), OK, True),
            ("real-geonet-stop-and-go", derived("geonet_stop_and_go.05o"), OK, True),
            ("real-trimble-kinematic", derived("trimble_kinematic.18o"), OK, True),
            ("real-trimble-converted-before", derived("trimble_no_clock.18o"), NG_CONVERTED, False)]:
        pieces = {"input": recipe(file)}
        extra = {}
        if has_expected:
            pieces["expected"] = recipe(file + ".expected")
        if told == NG_CONVERTED:
            pieces["temp"] = recipe(file + ".expected")
            extra["files"] = "site.19o site.19o_temp"
        out.case(name, told, pieces=pieces, **extra)

    # What the program does with the files around the input.
    example = {"input": recipe("examples/kinematic.19o")}
    expected_example = {"input": recipe("examples/kinematic.19o"),
                        "expected": recipe("tests/cases/kinematic/expected")}
    read_failed = "[NG] RINEX観測ファイルの読み込みに失敗しました。"
    # With FERRULE_DEBUG=1 a failed system call is shown with its reason (glibc's words). These
    # take a header without observations, whose diagnostic text is its lines.
    header_only = {"input": recipe("examples/kinematic.19o 0 %d" % len(kin_header))}
    header_kept = dict(header_only, expected=header_only["input"])
    lines = shown(kin_header, "")
    out.case("file-missing", read_failed, files="",
             debug="lstat site.19o: No such file or directory\n")
    out.case("file-is-a-directory", read_failed, setup="directory",
             debug="site.19o: not a regular file\n")
    out.case("file-without-lower-case-o", "[NG] RINEX観測ではありません。", pieces=example,
             name="SITE.19O", files="SITE.19O")
    out.case("file-with-o-in-its-directory", OK, pieces=expected_example, name="work/SITE.19O",
             files="SITE.19O SITE.19O_original")
    out.case("file-with-japanese-path", OK, pieces=expected_example, name="観測データ/現場.19o",
             files="現場.19o 現場.19o_original")
    out.case("file-with-long-path", OK, pieces=expected_example, setup="long-path")
    out.case("file-mode-kept", OK, pieces=expected_example, mode="745")
    # (The limit holds for the captured standard error too: no diagnostic text here.)
    out.case("disk-full", "[NG] 一時的なファイルの書き込みに失敗しました。", pieces=header_only,
             **{"file-size-limit": 1000})
    temp_refused = "[NG] 一時的なファイルの作成の失敗しました。"
    # Whatever stands at "_temp" is not ours: it loses its name (a symbolic link's target and a
    # hard link's other name stay), but a directory stays and refuses.
    out.case("temp-is-a-directory", temp_refused, pieces=example, setup="temp-directory",
             files="site.19o site.19o_temp", debug="unlinkat site.19o_temp: Is a directory\n")
    for kind in ("symlink", "hardlink"):
        out.case("temp-is-a-" + kind, OK, pieces=expected_example, setup="temp-" + kind)
    out.case("original-is-a-directory", "[NG] ファイルの置き換えに失敗しました。",
             pieces=header_only, setup="original-directory", files="site.19o site.19o_original",
             debug=lines + "unlinkat site.19o_original: Is a directory\n")
    out.case("original-replaced", OK, pieces=expected_example, setup="earlier-original")
    out.case("zero-device", read_failed, setup="zero-device")
    out.case("temp-left-by-a-crash", OK, pieces=expected_example, setup="stale-temp")
    out.case("empty-input-over-a-temp-left-by-a-crash", OK, pieces={"input": recipe((0, "x"))},
             setup="stale-temp")
    # System calls of the swap made to fail, or to kill the program, by strace.
    # A link refused on a file system that has links (protected hard links) is not "no hard
    # links": "_original" is written as a copy, and the converted file renamed over the input.
    out.case("strace-link-refused", OK, pieces=header_kept, strace="inject=linkat:error=EPERM",
             debug=lines + "linkat site.19o: Operation not permitted\n")
    out.case("strace-link-and-rename-refused", "[NG] ファイルの置き換えに失敗しました。",
             pieces=header_only, strace="inject=linkat,renameat:error=EPERM",
             debug=lines + "linkat site.19o: Operation not permitted\n"
                   "renameat site.19o_temp: Operation not permitted\n")
    out.case("strace-lock-held", "[NG] このファイルは別の変換で使用中です。", pieces=example,
             strace="inject=flock:error=EAGAIN",
             debug="flock site.19o: Resource temporarily unavailable\n")
    out.case("strace-killed-at-the-swap", "", status=-1, strace="inject=renameat:signal=SIGKILL",
             files="site.19o site.19o_original site.19o_temp",
             pieces=dict(example, temp=recipe("tests/cases/kinematic/expected")))

    # The command line: options, several files, a report.
    usage = "使い方: ferrule [--report] [--] <RINEX観測ファイル>...\n        ferrule --help | --version\n"
    out.case("usage-without-arguments", "", status=2, args="", stderr=usage, files="",
             **{"told-windows": "[NG] " + usage[:-1]})
    out.case("usage-unknown-option", "", status=2, args="site.19o -x", stderr=usage,
             pieces=example)
    help_text = open(os.path.join("app", "messages.h"), encoding="utf-8").read()
    help_text = help_text[help_text.index("kHelp ="):].split(";")[0]
    help_text = "".join(part.replace("\\n", "\n") for part in help_text.split('"')[1::2])
    out.case("help", "", status=0, args="--help", stdout=help_text, files="")
    out.case("help-short", "", status=0, args="-h", stdout=help_text, files="")
    out.case("version", "", status=0, args="-V", stdout="ferrule 1.0.0\n", files="")
    out.case("file-named-like-an-option", OK, pieces=expected_example, name="-site.19o",
             args="-- -site.19o")
    # A day's files at once: each as a single run leaves it, whatever the others did.
    day = {"in-site1.19o": recipe("examples/kinematic.19o"),
           "out-site1.19o": recipe("tests/cases/kinematic/expected"),
           "in-gsi.19o": recipe("examples/gsi.19o"),
           "in-static.19o": recipe("examples/static_bad_id.19o"),
           "out-static.19o": recipe("tests/cases/marker-repaired/expected")}
    start = "Ferrule program Ver1.01  2019/May/25th \n\nしばらくお待ちください...\n\n"
    batch = [OK.replace("] ", "] site1.19o: "), NG_GSI.replace("] ", "] gsi.19o: "),
             read_failed.replace("] ", "] missing.19o: "), OK_STATIC.replace("] ", "] static.19o: ")]
    out.case("several-files", "", status=1, args="site1.19o gsi.19o missing.19o static.19o",
             pieces=day, files="gsi.19o site1.19o site1.19o_original static.19o static.19o_original",
             stdout=start + batch[0] + "\n" + batch[3] + "\n", stderr=batch[1] + "\n" + batch[2] + "\n",
             **{"told-windows": "[NG] " + "\n".join(batch)})
    # A line feed in a file's name can split neither its outcome line nor its line of the report.
    # (No such name on Windows.)
    out.case("several-files-with-a-line-feed-in-a-name", "", status=1, name="line\nfeed.19o",
             args="line\nfeed.19o missing.19o", pieces=expected_example,
             files="line\nfeed.19o line\nfeed.19o_original",
             stdout=start + "[OK] line\\nfeed.19o: 変換完了\n",
             stderr="[NG] missing.19o: RINEX観測ファイルの読み込みに失敗しました。\n",
             **{"posix-only": "yes"})
    report = {name: text for name, text in day.items() if name.startswith("in-")}
    indented = lambda text: "".join("  " + line for line in text.splitlines(keepends=True))
    out.case("report", "", status=1, args="--report site1.19o static.19o gsi.19o missing.19o",
             pieces=report, files="gsi.19o site1.19o static.19o", stdout=(
                 "site1.19o: 変換します（キネマティック）\n"
                 + indented(survey("????", TYPES4, 4, first, last, sites))
                 + "static.19o: 変換します（スタティック、Station ID を修正）\n"
                 + indented(survey("BASE1", TYPES4, 4, first, last, sites, repaired="BASE"))
                 + "gsi.19o: 変換しません: " + NG_GSI[5:] + "\n"
                 + "  RINEX: 2.11 O G\n  作成: RNXCONV 1.0 / GSI, JAPAN / 20190525 010000 UTC\n"
                 + "missing.19o: 変換しません: " + read_failed[5:] + "\n"))
    out.case("report-of-a-file-with-a-line-feed-in-its-name", "", status=0, name="line\nfeed.19o",
             args="--report line\nfeed.19o", pieces=example, files="line\nfeed.19o",
             stdout="line\\nfeed.19o: 変換します（キネマティック）\n"
                    + indented(survey("????", TYPES4, 4, first, last, sites)),
             **{"posix-only": "yes"})

    # Every file operation failing in turn, with the error the real call gives, in the driver over
    # a file system that fails it (tests/support/faulty_file_system.h): "operation errno call",
    # the call counted from 0; and another program changing the input while it is read. Most take
    # a 2.5 MiB file, read in three reads and written in several writes.
    filler = epoch(1, 20, 0.0, ["G01"], 0, 4)
    count = (2500000 - len(kinematic)) // len(filler)
    large = {"input": recipe("examples/kinematic.19o", (count, filler))}
    large_converted = dict(large, expected=recipe("tests/cases/kinematic/expected", (count, filler)))
    small = {"input": recipe("examples/kinematic.19o")}
    stop = {"input": recipe("tests/cases/kinematic/expected")}
    write_failed = "[NG] 一時的なファイルの書き込みに失敗しました。"
    replace_failed = "[NG] ファイルの置き換えに失敗しました。"
    changed = "[NG] 変換中にファイルが変更されました。"
    both = "site.19o site.19o_original"
    # Interrupts: before the swap the temporary file goes; during it they wait for its end.
    out.case("strace-interrupted-while-writing", "", status=130,
             strace="inject=writev:signal=SIGINT:when=2", pieces=large)
    out.case("strace-terminated-during-the-swap", "", status=143,
             strace="inject=renameat:signal=SIGTERM", pieces=large_converted,
             files="site.19o site.19o_original")
    for name, fault, told, pieces, keys in [
            ("none", "none", OK, large_converted, {"setup": "earlier-original"}),
            ("open", "open EACCES", read_failed, large, {}),
            ("lock", "lock EWOULDBLOCK", "[NG] このファイルは別の変換で使用中です。", large, {}),
            ("read-first", "read EIO 0", read_failed, large, {}),
            ("read-late", "read EIO 2", read_failed, large, {}),
            ("out-of-memory", "read ENOMEM 1", "[NG] メモリが不足したため、変換できませんでした。",
             large, {}),
            # On Windows no other program may write the input while it is read.
            ("grow", "grow - 2", changed,
             dict(large, expected=recipe("examples/kinematic.19o", (count, filler), (1, "appended" + CRLF))),
             {"posix-only": "yes"}),
            ("replace-input", "replace-input - 2", changed,
             dict(large, expected=recipe((1, "a new file" + CRLF))), {"files": "site.19o site.19o_moved"}),
            ("create-temporary", "create-temporary ENOSPC", temp_refused, large, {}),
            ("write-first", "write EIO 0", write_failed, large, {}),
            ("write-late", "write EFBIG 2", write_failed, large, {}),
            ("write-of-a-small-file", "write ENOSPC 0", write_failed, small, {}),
            ("sync", "sync EIO", write_failed, large, {}),
            ("close", "close ENOSPC", write_failed, large, {}),
            ("close-after-a-stop", "close EIO", write_failed, stop, {}),
            ("remove-earlier-original", "remove-earlier-original EPERM", replace_failed, large,
             {"setup": "earlier-original", "files": both}),
            ("replace", "replace EIO", replace_failed, large, {}),
            ("no-hard-links", "none", OK, large_converted,
             {"setup": "earlier-original", "no-hard-links": "yes"}),
            ("no-hard-links-rename-input", "rename-input EACCES", replace_failed, large,
             {"no-hard-links": "yes"}),
            ("no-hard-links-rename-temporary", "rename-temporary EIO", replace_failed, large,
             {"no-hard-links": "yes"}),
            # The input may not be linked: "_original" is written as a copy of it.
            ("link-refused", "none", OK, large_converted,
             {"setup": "earlier-original", "link-refused": "yes", "posix-only": "yes"}),
            ("link-refused-copy-not-written", "write-copy ENOSPC 1", replace_failed, large,
             {"link-refused": "yes"}),
            ("link-refused-rename-temporary", "rename-temporary EIO", replace_failed, large,
             {"link-refused": "yes"})]:
        out.case("fault-" + name, told, pieces=pieces, fault=fault, **keys)

    if out.differ:
        print("out of date (run python3 tools/make_cases.py):\n  " + "\n  ".join(out.differ))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
