#!/usr/bin/env python3
"""Writes a large bench mailbox straight into a maildir, in seconds: through
Wine every new file of a folder costs a look through the whole folder (for a
name that differs only in case), so 50,000 mails made by the Windows bench
take minutes.

The mails are those of imap_bench's own mailboxes (benchMessage in
bench_support.cpp): corpus mail i modulo the corpus, its Message-ID made
unique with the prefix "b<i>.", under a trace of its own.
Usage: make_maildir.py CORPUS_DIR MAILDIR COUNT
"""
import os
import re
import sys
import time

FIELD = re.compile(rb'(^|\r\n)message-id:[ \t]*<?', re.IGNORECASE)


def bench_message(mail, i):
    header_end = mail.find(b'\r\n\r\n')
    header_end = len(mail) if header_end < 0 else header_end
    found = FIELD.search(mail, 0, header_end)
    if found:
        at = found.end()
        mail = mail[:at] + b'b%d.' % i + mail[at:]
    trace = (b'X-Bench: %d\r\n'
             b'Received: from mx.bench.example.ru (mx.bench.example.ru [10.77.0.1])\r\n'
             b'\tby pop.bench.example.ru with LMTP id B%07d;\r\n'
             b'\tMon, 7 Dec 2026 %02d:%02d:%02d +0300\r\n'
             % (i, i, (i // 3600) % 24, (i // 60) % 60, i % 60))
    return trace + mail


def main():
    corpus_dir, maildir, count = sys.argv[1], sys.argv[2], int(sys.argv[3])
    corpus = []
    for name in sorted(os.listdir(corpus_dir)):
        with open(os.path.join(corpus_dir, name), 'rb') as f:
            corpus.append(f.read())
    for sub in ('new', 'cur', 'tmp'):
        os.makedirs(os.path.join(maildir, sub), exist_ok=True)
    start = time.monotonic()
    size = 0
    for i in range(count):
        message = bench_message(corpus[i % len(corpus)], i)
        size += len(message)
        # Names that sort in delivery order, as the bench's other mailboxes
        # (imap_bench reads the first ones back to compare them with its own).
        with open(os.path.join(maildir, 'new', '%010d.M%dP0.korvel' % (1700000000 + i, i)), 'wb') as f:
            f.write(message)
    print('make_maildir: %d messages (%.1f MB) written in %.1f s to %s'
          % (count, size / 1e6, time.monotonic() - start, maildir))


if __name__ == '__main__':
    main()
