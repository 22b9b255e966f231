#!/usr/bin/env python3
"""Generates src/text/pinyinlists.cpp: the letter lists that give the
pinyin initial of the GB2312 second-level characters (codes 0xD8A1..0xF7FE).

First-level characters (0xB0A1..0xD7F9) are ordered by reading and are handled
by code ranges in pinyininitials.cpp; the second-level ones are ordered by
radical, so they need these lists.

Rule
----
Readings come from the Unihan database (Unihan_Readings.txt, Debian package
unicode-data), fields kXHC1983 (Xiandai Hanyu Cidian) and kTGHZ2013 (Tongyong
Guifan Hanzi Zidian): the readings the two standard dictionaries of modern
Chinese give a character. A character that neither dictionary lists falls back
to its kMandarin reading (the first value, the customary mainland one); in the
second level these are almost all radical and component forms, read by the
character they stand for (丨 gǔn, 丿 piě, 丶 zhǔ, 亻 rén) or by their own old
reading (丌 jī). kMandarin is only a fallback: for the characters the
dictionaries do list it can differ from them and would bring in obsolete
readings. A character with none of these readings gets no letter at all.

Three strokes have no letter whatever Unihan says: 丨, 丿 and 丶 (NO_LETTER).
They are written alone as strokes, not as the characters they may stand for,
and the shop's initials have always given them "!"; stored initials and
searches typed from them keep working.

A character stands once in the list of every distinct initial among its
readings. Within a list the entries are ordered by the smallest of the
character's readings with that initial (tone marks dropped, ü written as v),
then by GB code. The lists hold second-level characters only.

Each list is written as GBK bytes in which every character is followed by one
blank, so the lookup can search the two bytes of a unit directly.

Usage: tools/gen_pinyin_lists.py [--unihan PATH] [--output PATH]
The build does not run this script; its output is committed.
"""

import argparse
import bz2
import io
import os
import sys
import unicodedata
import zipfile

LETTERS = "abcdefghjklmnopqrstwxyz"
FIELDS = ("kXHC1983", "kTGHZ2013")
FALLBACK_FIELD = "kMandarin"
NO_LETTER = "丨丿丶"
DEFAULT_UNIHAN = (
    "/usr/share/unicode/Unihan_Readings.txt",
    "/usr/share/unicode/Unihan_Readings.txt.bz2",
    "/usr/share/unicode/Unihan.zip",
)
ENTRIES_PER_LINE = 8


def open_readings(path):
    if path.endswith(".zip"):
        with zipfile.ZipFile(path) as archive:
            data = archive.read("Unihan_Readings.txt")
        return io.StringIO(data.decode("utf-8"))
    if path.endswith(".bz2"):
        return bz2.open(path, "rt", encoding="utf-8")
    return open(path, encoding="utf-8")


def load_readings(path):
    """Returns ({char: [reading, ...]} from FIELDS, with the first kMandarin
    value for a character that FIELDS do not list, unicode version text)."""
    readings = {}
    fallback = {}
    version = "unknown"
    with open_readings(path) as stream:
        for line in stream:
            if line.startswith("# Unicode version:"):
                version = line.split(":", 1)[1].strip()
            if line.startswith("#") or not line.strip():
                continue
            code, field, value = line.rstrip("\n").split("\t")
            char = chr(int(code[2:], 16))
            if field == FALLBACK_FIELD:
                fallback[char] = value.split()[0]
                continue
            if field not in FIELDS:
                continue
            # "page.position[,page.position...]:reading", blank separated
            for item in value.split():
                readings.setdefault(char, []).append(item.split(":", 1)[1])
    for char, reading in fallback.items():
        readings.setdefault(char, [reading])
    return readings, version


def plain(reading):
    """Reading without tone marks, ü written as v: the sort key of a reading."""
    text = unicodedata.normalize("NFD", reading).replace("u\u0308", "v")
    return "".join(c for c in text if not unicodedata.combining(c)).lower()


def second_level():
    """(gbk bytes, char) of every GB2312 second-level character, in code order."""
    chars = []
    for lead in range(0xD8, 0xF8):
        for trail in range(0xA1, 0xFF):
            raw = bytes((lead, trail))
            try:
                chars.append((raw, raw.decode("gb2312")))
            except UnicodeDecodeError:
                pass
    return chars


def build_lists(readings):
    lists = {letter: {} for letter in LETTERS}
    for raw, char in second_level():
        if char in NO_LETTER:
            continue
        for reading in readings.get(char, ()):
            key = plain(reading)
            letter = key[0]
            if letter not in lists:
                sys.exit(f"reading {reading!r} of {char} has no list letter")
            entry = lists[letter]
            if char not in entry or (key, raw) < entry[char]:
                entry[char] = (key, raw)
    return {
        letter: [(char, key[1]) for char, key in sorted(entry.items(), key=lambda kv: kv[1])]
        for letter, entry in lists.items()
    }


def literal(raw):
    return "".join(f"\\x{b:02X}" for b in raw + b" ")


def render(lists, version, summary):
    out = [
        "// Generated by tools/gen_pinyin_lists.py from Unihan_Readings.txt",
        f"// (Unicode {version}); do not edit, run the script instead.",
        "//",
        "// One list per initial letter; each is GBK text in which every character is",
        "// followed by one blank. Every byte is written as an escape, so no escape",
        "// can run into a following hex digit.",
        "//",
    ]
    out += [f"// {line}" for line in summary]
    out += [
        "",
        '#include "text/pinyinlists.h"',
        "",
        "namespace {",
        "",
    ]
    for letter in LETTERS:
        entries = lists[letter]
        out.append(f"// {letter}: {len(entries)} entries")
        out.append(f"constexpr char kList_{letter}[] =")
        if not entries:
            out.append('    "";')
        for start in range(0, len(entries), ENTRIES_PER_LINE):
            chunk = entries[start:start + ENTRIES_PER_LINE]
            out.append("    // " + " ".join(char for char, _ in chunk))
            end = ";" if start + ENTRIES_PER_LINE >= len(entries) else ""
            out.append('    "' + "".join(literal(raw) for _, raw in chunk) + '"' + end)
        out.append("")
    out.append("constexpr std::array<PinyinLetterList, 23> kLists = {{")
    for letter in LETTERS:
        out.append(f"    {{'{letter}', std::string_view(kList_{letter}, sizeof kList_{letter} - 1)}},")
    out += [
        "}};",
        "",
        "} // namespace",
        "",
        "const std::array<PinyinLetterList, 23>& PinyinLetterLists()",
        "{",
        "    return kLists;",
        "}",
        "",
    ]
    return "\n".join(out)


def summarise(lists):
    chars = [char for entries in lists.values() for char, _ in entries]
    counts = {}
    for char in chars:
        counts[char] = counts.get(char, 0) + 1
    seconds = second_level()
    missing = [char for _, char in seconds if char not in counts]
    return [
        "Entries per list: " + " ".join(f"{l}={len(lists[l])}" for l in LETTERS),
        f"Entries {len(chars)}, distinct characters {len(counts)}, "
        f"in several lists {sum(1 for n in counts.values() if n > 1)}",
        f"Second-level characters covered: {len(seconds) - len(missing)} of {len(seconds)}",
        f"Without a letter ({len(missing)})" + (": " + " ".join(missing) if missing else ""),
    ]


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--unihan", help="Unihan_Readings.txt, .txt.bz2 or Unihan.zip")
    parser.add_argument("--output", default=os.path.join(root, "src/text/pinyinlists.cpp"))
    args = parser.parse_args()

    path = args.unihan or next((p for p in DEFAULT_UNIHAN if os.path.exists(p)), None)
    if path is None:
        sys.exit("Unihan_Readings.txt not found; install unicode-data or pass --unihan")
    readings, version = load_readings(path)
    if len(second_level()) != 3008:
        sys.exit("this Python's gb2312 codec does not give 3008 second-level characters")

    lists = build_lists(readings)
    summary = summarise(lists)
    # Long summary lines are wrapped for the generated file's comment.
    wrapped = []
    for line in summary:
        while len(line) > 96:
            cut = line.rfind(" ", 0, 96)
            wrapped.append(line[:cut])
            line = "    " + line[cut + 1:]
        wrapped.append(line)
    with open(args.output, "w", encoding="utf-8", newline="\n") as out:
        out.write(render(lists, version, wrapped))
    print("\n".join(summary))
    print(f"written {args.output}")


if __name__ == "__main__":
    main()
