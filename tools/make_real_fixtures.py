#!/usr/bin/env python3
"""Derives test fixtures from the real observation files in tests/data/real/.

The real files are not in the converter's fixed layout as they stand. This script makes, for
each, the variants the tests need, and writes them to tests/data/real/derived/:

  geonet_normalised.05o   the GEONET day, 80-column header records and CR LF line ends
  geonet_static.05o       ... with RUN BY changed from "GSI, JAPAN" to a survey office
  geonet_bad_id.05o       ... and a station identifier that is not four letters or digits
  geonet_kinematic.05o    ... and the question-mark marker: a kinematic file
  geonet_stop_and_go.05o  ... with stop-and-go event records inserted
  trimble_no_clock.18o    the Trimble file without its RCV CLOCK OFFS APPL record
  trimble_kinematic.18o   ... with the question-mark marker, its leading event record removed

Each converted fixture has a "<name>.expected" beside it, committed and reviewed as data: what
the conversion must write (trimble_no_clock.18o.expected: what is written before it stops). This
script does not make them; a change of a fixture's input means reviewing its expected output
again. It is not run by the tests.

Run from the repository root:
  python3 tools/make_real_fixtures.py          writes the fixtures
  python3 tools/make_real_fixtures.py --check  fails when the committed inputs differ
"""
import datetime
import os
import sys

REAL = os.path.join("tests", "data", "real")
DERIVED = os.path.join(REAL, "derived")
CRLF = "\r\n"

GSI = "GSI, JAPAN".ljust(20)
SURVEY_OFFICE = "SURVEY OFFICE".ljust(20)


# --- Reading the real files -----------------------------------------------------------------

def read(name):
    with open(os.path.join(REAL, name), "rb") as f:
        return f.read().decode("latin-1")


def split_lines(text):
    """The lines of a text without their line ends (LF or CR LF)."""
    assert text.endswith("\n")
    return [line.rstrip("\r") for line in text[:-1].split("\n")]


def label(line):
    return line[60:80].rstrip()


class Observations:
    """A RINEX 2 observation file: its header lines and its observation section, cut into
    records. A record is an epoch (its epoch line, satellite-list continuation lines and
    observation lines) or an event (its event line and the special records it announces)."""

    def __init__(self, text):
        lines = split_lines(text)
        end = next(i for i, line in enumerate(lines) if label(line) == "END OF HEADER")
        self.header = lines[:end + 1]
        types_line = next(line for line in self.header if label(line) == "# / TYPES OF OBSERV")
        self.types = int(types_line[0:6])
        self.records = cut_records(lines[end + 1:], self.types)


def event_flag(line):
    return int(line[28]) if len(line) > 28 and line[28].isdigit() else 0


def record_count(line):
    field = line[29:32].strip()
    return int(field) if field else 0


def is_event(record):
    return 2 <= event_flag(record[0]) <= 5


def cut_records(lines, types):
    records = []
    at = 0
    while at < len(lines):
        line = lines[at]
        count = record_count(line)
        if 2 <= event_flag(line) <= 5:
            size = 1 + count
        else:
            size = (count + 11) // 12 + count * ((types + 4) // 5)
        assert at + size <= len(lines), "record cut short at line %d" % at
        records.append(lines[at:at + size])
        at += size
    return records


def join(lines):
    return "".join(line + CRLF for line in lines)


# --- Variants -------------------------------------------------------------------------------

def normalised(obs, drop_labels=()):
    """80-column header records without the dropped labels, and 80-column special records."""
    obs.header = [line.ljust(80) for line in obs.header if label(line) not in drop_labels]
    assert all(len(line) == 80 for line in obs.header)
    obs.records = [[r[0]] + [s.ljust(80) for s in r[1:]] if is_event(r) else r
                   for r in obs.records]
    return obs


def with_field(obs, record_label, start, text):
    """Replaces columns start.. of the header record with that label."""
    def change(line):
        if label(line) != record_label:
            return line
        return line[:start] + text + line[start + len(text):]
    obs.header = [change(line) for line in obs.header]
    return obs


def text_of(obs):
    return join(obs.header) + "".join(join(r) for r in obs.records)


# --- Event records --------------------------------------------------------------------------

def epoch_time(line):
    year, month, day, hour, minute = (int(line[c:c + 3]) for c in range(0, 15, 3))
    seconds = float(line[15:26])
    return datetime.datetime(2000 + year, month, day, hour, minute) + datetime.timedelta(
        seconds=seconds)


def timed_event(time, flag):
    """An event line with the epoch time and the flag, without a record count."""
    seconds = time.second + time.microsecond / 1e6
    return " %02d %2d %2d %2d %2d%11.7f  %d" % (time.year % 100, time.month, time.day,
                                              time.hour, time.minute, seconds, flag)


def header_record(text, record_label):
    return text.ljust(60) + record_label.ljust(20)


def occupation(comment):
    """A header-information event announcing one occupation, with its COMMENT."""
    return [" " * 28 + "4  1", header_record("   " + comment, "COMMENT")]


# --- The fixtures ---------------------------------------------------------------------------

def geonet(drop_gsi=True, marker=None):
    obs = normalised(Observations(read("07590920.05o")))
    if drop_gsi:
        with_field(obs, "PGM / RUN BY / DATE", 20, SURVEY_OFFICE)
    if marker is not None:
        with_field(obs, "MARKER NAME", 0, marker.ljust(60))
    return obs


def with_stop_and_go(obs):
    """Stop-and-go events between the epochs of the day, in the receiver's way: a timed flag-2
    record opens or closes a moving period, a flag-4 record with one COMMENT announces an
    occupation, a flag-3 record with its MARKER NAME a new site. Each event is timed 15 s after
    the epoch it follows. The file's own splice event after epoch 96 falls inside the last
    moving period."""
    epochs = [r for r in obs.records if not is_event(r)]
    assert len(epochs) == 120
    after = {
        10: ["open", "occupation"],
        30: ["close"],
        40: ["open", "occupation"],
        50: ["occupation"],
        60: ["close"],
        70: ["new site"],
        80: ["close", "occupation"],
        90: ["open", "occupation"],
        105: ["close"],
    }
    records = []
    count = 0
    occupations = 0
    for record in obs.records:
        records.append(record)
        if is_event(record):
            continue
        count += 1
        time = epoch_time(record[0]) + datetime.timedelta(seconds=15)
        for kind in after.get(count, []):
            if kind in ("open", "close"):
                records.append([timed_event(time, 2)])
            elif kind == "occupation":
                occupations += 1
                records.append(occupation("OCCUPATION %d" % occupations))
            else:
                records.append([" " * 28 + "3  1", header_record("P001", "MARKER NAME")])
    obs.records = records
    return obs


def trimble(marker=None, drop_leading_event=False):
    obs = normalised(Observations(read("14601736.18o")), drop_labels=("RCV CLOCK OFFS APPL",))
    if marker is not None:
        with_field(obs, "MARKER NAME", 0, marker.ljust(60))
    if drop_leading_event:
        assert is_event(obs.records[0])
        obs.records = obs.records[1:]
    return obs


def fixtures():
    """File name and input text of each derived fixture."""
    return [
        ("geonet_normalised.05o", text_of(geonet(drop_gsi=False))),
        ("geonet_static.05o", text_of(geonet())),
        ("geonet_bad_id.05o", text_of(geonet(marker="07-59"))),
        ("geonet_kinematic.05o", text_of(geonet(marker="????"))),
        ("geonet_stop_and_go.05o", text_of(with_stop_and_go(geonet(marker="????")))),
        ("trimble_no_clock.18o", text_of(trimble())),
        ("trimble_kinematic.18o", text_of(trimble("????", drop_leading_event=True))),
    ]


def main():
    check = sys.argv[1:] == ["--check"]
    stale = []
    for name, text in fixtures():
        path = os.path.join(DERIVED, name)
        data = text.encode("latin-1")
        if check:
            try:
                with open(path, "rb") as f:
                    if f.read() != data:
                        stale.append(path)
            except FileNotFoundError:
                stale.append(path)
        else:
            os.makedirs(DERIVED, exist_ok=True)
            with open(path, "wb") as f:
                f.write(data)
    if stale:
        print("Out of date, run python3 tools/make_real_fixtures.py:\n  " + "\n  ".join(stale))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
