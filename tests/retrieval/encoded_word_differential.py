#!/usr/bin/env python3
"""Decodes generated encoded header words with the program's decoder (through
encoded_word_driver) and with Python's email.header, and compares the two.

Words come in KOI8-R, Windows-1251 and UTF-8, in B and Q form, with the
charset name and the encoding letter in varying letter case, sometimes with
lower-case hexadecimal digits in Q words and with further text after the
word. Python's decoded text is turned into Windows-1251 the way the program
does it: letters with a combining accent folded where the code page has the
precomposed letter, "?" for every character it lacks (two for a character
beyond U+FFFF, which takes two UTF-16 units).

Usage: encoded_word_differential.py DRIVER [--cases N] [--seed S]
"""
import argparse
import base64
import random
import subprocess
import sys
import unicodedata
from email.header import decode_header

CODECS = {"koi8-r": "koi8_r", "windows-1251": "cp1251", "utf-8": "utf-8"}

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


def make_case(rng):
    charset = rng.choice(list(CODECS))
    codec = CODECS[charset]
    chars = []
    for _ in range(rng.randint(0, 40)):
        ch = rng.choice(POOL)
        try:
            ch.encode(codec)
        except UnicodeEncodeError:
            continue
        chars.append(ch)
    data = "".join(chars).encode(codec)
    name = random_case(charset, rng) if rng.random() < 0.5 else rng.choice([charset, charset.upper()])
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
    return word + tail, expected, len(word)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("driver")
    parser.add_argument("--cases", type=int, default=3000)
    parser.add_argument("--seed", type=int, default=2047)
    args = parser.parse_args()

    rng = random.Random(args.seed)
    cases = [make_case(rng) for _ in range(args.cases)]
    feed = "".join(entry.encode("ascii").hex() + "\n" for entry, _, _ in cases)
    run = subprocess.run([args.driver], input=feed.encode("ascii"), stdout=subprocess.PIPE, check=True)
    answers = run.stdout.decode("ascii").splitlines()
    if len(answers) != len(cases):
        print("driver answered %d of %d cases" % (len(answers), len(cases)))
        return 1

    failures = 0
    for (entry, expected, consumed), answer in zip(cases, answers):
        hex_text, _, count = answer.partition(" ")
        got = bytes.fromhex(hex_text)
        if got != expected or int(count) != consumed:
            failures += 1
            if failures <= 20:
                print("%s\n  expected %s (%d)\n  got      %s (%s)" % (entry, expected.hex(), consumed, got.hex(), count))
    print("%d cases, %d differences" % (len(cases), failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
