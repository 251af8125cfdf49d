#!/usr/bin/env python3
"""Decodes generated encoded header words with the program's decoder (through
encoded_word_driver) and with Python's email.header, and compares the two.

Words come in KOI8-R, Windows-1251 and UTF-8 under their usual names, and
in the other charsets Windows converts (Cyrillic ones, Latin-1, ASCII and the
East Asian ones), in B and Q form, with the charset name and the encoding
letter in varying letter case, sometimes with a language after the charset
name, with lower-case hexadecimal digits in Q words and with further text
after the word. Python's decoded text is turned into Windows-1251 the way the
program does it: letters with a combining accent folded where the code page
has the precomposed letter, "?" for every character it lacks (two for a
character beyond U+FFFF, which takes two UTF-16 units). The other charsets
draw only on characters that Windows-1251 holds or that have no near
equivalent in it, since Windows replaces the rest by its own best fit.

A driver built natively has no converter for the other charsets: their
words must come back unchanged. With --system the driver (the Windows build,
under Wine) converts them through the system. A charset whose words all come
back unchanged there is one the system cannot convert (Wine has no ISO-2022
converter): the program leaves such words as they are, and the run names
the charset instead of failing.

Usage: encoded_word_differential.py [--system] [--cases N] [--seed S] DRIVER...
"""
import argparse
import base64
import collections
import random
import subprocess
import sys
import unicodedata
from email.header import decode_header

# The charsets the program converts by its own tables, under their names.
OWN = {
    "koi8_r": ["koi8-r", "koi8r"],
    "cp1251": ["windows-1251", "cp1251", "x-cp1251"],
    "utf-8": ["utf-8", "utf8"],
}

CYRILLIC = "АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯабвгдеёжзийклмнопрстуфхцчшщъыьэюя"
ASCII = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 .,;:!?-()'\"_=/+"
EAST_ASIAN = "中文日本語漢字東京ひらがなカタカナ한국어"
# Charsets converted through the system: Python codec, names, characters.
OTHER = {
    "koi8_u": (["koi8-u", "KOI8-U"], CYRILLIC + ASCII + "ЄєІіЇїҐґ"),
    "iso8859_5": (["iso-8859-5", "ISO_8859-5"], CYRILLIC + ASCII + "ЂђЄєІіЇїЈјЉљЊњЋћЎўЏџ№§"),
    "cp866": (["cp866", "ibm866", "IBM866"], CYRILLIC + ASCII + "ЄєЇїЎў°·№¤"),
    "mac_cyrillic": (["x-mac-cyrillic"], CYRILLIC + ASCII + "ЂђЄєІіЇїЈјЉљЊњЋћЎўЏџ№«»"),
    "latin_1": (["iso-8859-1", "latin1"], ASCII + "«»§©°±µ¶·¬®¦¤\xa0"),
    "ascii": (["us-ascii"], ASCII),
    "iso2022_jp": (["iso-2022-jp"], CYRILLIC + ASCII + EAST_ASIAN),
    "cp932": (["shift_jis", "Shift_JIS"], CYRILLIC + ASCII + EAST_ASIAN),
    "euc_jp": (["euc-jp"], CYRILLIC + ASCII + EAST_ASIAN),
    "gbk": (["gb2312", "GB2312"], CYRILLIC + ASCII + EAST_ASIAN),
    "cp950": (["big5"], ASCII + EAST_ASIAN),
    "cp949": (["euc-kr", "ks_c_5601-1987"], CYRILLIC + ASCII + EAST_ASIAN),
}

POOL = (
    "АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯабвгдеёжзийклмнопрстуфхцчшщъыьэюя"
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"
    "     .,;:!?-()'\"_=/+\t"
    "«»№—–€™…§©°±µ¶·"
    "ЎўЇїҐґЄєЂђЉљІіЈј"
    "éüßçñøÅ½≤∞中文😀👍"
    "\u0301\u0306\u0308\u0300"
)


def to_ansi(text):
    """Windows-1251 bytes of text as the program makes them."""
    out = bytearray()
    i = 0
    while i < len(text):
        c = text[i]
        if i + 1 < len(text) and unicodedata.combining(text[i + 1]):
            composed = unicodedata.normalize("NFC", c + text[i + 1])
            if len(composed) == 1:
                try:
                    out += composed.encode("cp1251")
                    i += 2
                    continue
                except UnicodeEncodeError:
                    pass
        try:
            out += c.encode("cp1251")
        except UnicodeEncodeError:
            out += b"??" if ord(c) > 0xFFFF else b"?"
        i += 1
    return bytes(out)


Case = collections.namedtuple("Case", "entry expected consumed codec has_data")


def random_case(text, rng):
    return "".join(ch.upper() if rng.random() < 0.5 else ch.lower() for ch in text)


def q_encode(data, rng, lower_hex):
    out = []
    for b in data:
        ch = chr(b)
        if b == 0x20 and rng.random() < 0.7:
            out.append("_")
        elif 0x21 <= b <= 0x7E and ch not in "=?_" and rng.random() < 0.8:
            out.append(ch)
        else:
            digits = "%02X" % b
            out.append("=" + (digits.lower() if lower_hex else digits))
    return "".join(out)


def make_case(rng, system):
    if rng.random() < 0.6:
        codec = rng.choice(list(OWN))
        charset, pool, converted = rng.choice(OWN[codec]), POOL, True
    else:
        codec = rng.choice(list(OTHER))
        names, pool = OTHER[codec]
        charset, converted = rng.choice(names), system
    chars = []
    for _ in range(rng.randint(0, 40)):
        ch = rng.choice(pool)
        try:
            ch.encode(codec)
        except UnicodeEncodeError:
            continue
        chars.append(ch)
    data = "".join(chars).encode(codec)
    name = random_case(charset, rng) if rng.random() < 0.5 else rng.choice([charset, charset.upper()])
    if rng.random() < 0.1:
        name += "*ru"
    if rng.random() < 0.5:
        letter = rng.choice("bB")
        payload = base64.b64encode(data).decode("ascii")
    else:
        letter = rng.choice("qQ")
        payload = q_encode(data, rng, lower_hex=rng.random() < 0.2)
    word = "=?%s?%s?%s?=" % (name, letter, payload)

    parts = decode_header(word)
    if len(parts) != 1 or not isinstance(parts[0][0], bytes):
        raise SystemExit("email.header did not decode %r as one word: %r" % (word, parts))
    expected = to_ansi(parts[0][0].decode(codec))
    expected = expected.split(b"\0")[0]
    tail = rng.choice(["", "", " =?utf-8?B?0J/RgNC4?=", " plain text", "=?koi8-r?q?=C1?="])
    entry = word + tail
    if not converted:
        return Case(entry, entry.encode("ascii"), len(entry), codec, bool(data))
    return Case(entry, expected, len(word), codec, bool(data))


def unchanged(case, answer):
    return answer == (case.entry.encode("ascii"), len(case.entry))


def lacking_charsets(cases, answers):
    """The other charsets whose words with data all came back unchanged."""
    lacking = set()
    for codec in OTHER:
        mine = [(c, a) for c, a in zip(cases, answers) if c.codec == codec and c.has_data]
        if mine and all(unchanged(c, a) and a != (c.expected, c.consumed) for c, a in mine):
            lacking.add(codec)
    return lacking


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--system", action="store_true", help="the driver converts every charset")
    parser.add_argument("driver", nargs="+", help="the driver, after the program that runs it (wine)")
    parser.add_argument("--cases", type=int, default=3000)
    parser.add_argument("--seed", type=int, default=2047)
    args = parser.parse_args()

    rng = random.Random(args.seed)
    cases = [make_case(rng, args.system) for _ in range(args.cases)]
    feed = "".join(case.entry.encode("ascii").hex() + "\n" for case in cases)
    run = subprocess.run(args.driver, input=feed.encode("ascii"), stdout=subprocess.PIPE, check=True)
    answers = run.stdout.decode("ascii").splitlines()
    if len(answers) != len(cases):
        print("driver answered %d of %d cases" % (len(answers), len(cases)))
        return 1

    decoded = []
    for answer in answers:
        hex_text, _, count = answer.partition(" ")
        decoded.append((bytes.fromhex(hex_text), int(count)))
    lacking = lacking_charsets(cases, decoded) if args.system else set()
    for codec in sorted(lacking):
        print("the system cannot convert %s (%s): its words stay as they are" % (OTHER[codec][0][0], codec))

    failures = 0
    for case, (got, count) in zip(cases, decoded):
        if case.codec in lacking:
            continue
        if got != case.expected or count != case.consumed:
            failures += 1
            if failures <= 20:
                print("%s\n  expected %s (%d)\n  got      %s (%d)" %
                      (case.entry, case.expected.hex(), case.consumed, got.hex(), count))
    print("%d cases, %d differences" % (len(cases), failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
