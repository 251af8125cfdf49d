#!/usr/bin/env python3
"""Writes the realistic Russian mails that the POP3 tests and the demo
mailbox serve (tests/retrieval/mails/*.eml). Each file is a whole message with
CR LF line ends as a server stores it. Run again after changing a mail:
    tools/make_mail_corpus.py tests/retrieval/mails
"""
import base64
import os
import quopri
import sys


def bword(text, charset):
    data = base64.b64encode(text.encode(charset)).decode('ascii')
    return '=?%s?B?%s?=' % (charset, data)


def qword(text, charset):
    raw = text.encode(charset)
    out = []
    for b in raw:
        c = chr(b)
        if b == 0x20:
            out.append('_')
        elif (0x30 <= b <= 0x39) or (0x41 <= b <= 0x5A) or (0x61 <= b <= 0x7A):
            out.append(c)
        else:
            out.append('=%02X' % b)
    return '=?%s?Q?%s?=' % (charset, ''.join(out))


def received_chain(hops, seed):
    lines = []
    for i in range(hops):
        lines.append('Received: from mx%d.relay%d.example.ru (mx%d.relay%d.example.ru [10.%d.%d.%d])\r\n'
                     '\tby mx%d.mail.example.ru with ESMTP id %08X%04d\r\n'
                     '\tfor <ivan@korvel.test>; Mon, 7 Dec 2026 10:%02d:%02d +0300'
                     % (i, seed, i, seed, seed % 250, i, (i * 7) % 250, i + 1, seed * 7919 + i, i,
                        (i * 3) % 60, (i * 11) % 60))
    return '\r\n'.join(lines)


def message(headers, body, body_charset='koi8-r'):
    text = '\r\n'.join(headers) + '\r\n\r\n' + body.replace('\n', '\r\n')
    if not text.endswith('\r\n'):
        text += '\r\n'
    return text.encode(body_charset, errors='replace')


MAILS = {}

MAILS['01-koi8-b.eml'] = message([
    received_chain(4, 1),
    'Message-ID: <20261207101500.4711@mail.example.ru>',
    'Date: Mon, 7 Dec 2026 10:15:00 +0300',
    'From: ' + bword('Пётр Сидоров', 'koi8-r') + ' <petr@example.ru>',
    'To: ivan@korvel.test',
    'Subject: ' + bword('Отчёт за ноябрь', 'koi8-r'),
    'MIME-Version: 1.0',
    'Content-Type: text/plain; charset=koi8-r',
    'Content-Transfer-Encoding: 8bit',
], 'Иван, добрый день!\nОтчёт во вложении не поместился, пришлю завтра.\n')

MAILS['02-cp1251-q-attachment.eml'] = message([
    received_chain(2, 2),
    'Message-ID: <a1b2c3d4@smtp.example.com>',
    'Date: Sun, 6 Dec 2026 21:40:12 +0300',
    'From: ' + qword('Бухгалтерия', 'windows-1251') + ' <buh@example.com>',
    'To: ivan@korvel.test',
    'Subject: ' + qword('Счёт на оплату №117', 'windows-1251'),
    'MIME-Version: 1.0',
    'Content-Type: multipart/mixed; boundary="----=_NextPart_000_0012_01DB4F2C"',
], '------=_NextPart_000_0012_01DB4F2C\nContent-Type: text/plain; charset=windows-1251\n\n'
   'Счёт во вложении.\n------=_NextPart_000_0012_01DB4F2C--\n', 'windows-1251')

MAILS['03-utf8-two-words-folded.eml'] = message([
    received_chain(3, 3),
    'Message-ID: <CAF=x7Yk+Zq@mail.gmail.example>',
    'Date: Sat, 5 Dec 2026 08:03:44 +0000',
    'From: ' + bword('Анна Кузнецова', 'utf-8') + ' <anna@example.org>',
    'To: ivan@korvel.test',
    'Subject: ' + bword('Встреча в четверг', 'utf-8') + ' ' + bword(' — перенос', 'utf-8'),
    '\t' + bword('на пятницу', 'utf-8'),
    'MIME-Version: 1.0',
    'Content-Type: text/plain; charset=utf-8',
], 'Давай перенесём.\n', 'utf-8')

MAILS['04-lowercase-names.eml'] = message([
    'received: from localhost by mail.example.net; Fri, 4 Dec 2026 12:00:00 +0300',
    'message-id: <lower.case.4@example.net>',
    'date: Fri, 4 Dec 2026 12:00:00 +0300',
    'from: robot@example.net',
    'subject: Weekly digest',
], 'Nothing new this week.\n', 'ascii')

MAILS['05-date-without-seconds.eml'] = message([
    received_chain(1, 5),
    'Message-ID: <short.date.5@example.ru>',
    'Date: Tue, 1 Dec 26 10:20 +0300',
    'From: ' + bword('Ольга', 'windows-1251') + ' <olga@example.ru>',
    'Subject: ' + qword('Напоминание', 'koi8-r'),
], 'Не забудь про собрание.\n')

MAILS['06-received-only.eml'] = message([
    received_chain(3, 6),
    'Date: Thu, 3 Dec 2026 17:45:00 +0300',
    'From: noreply@shop.example',
    'Subject: ' + bword('Ваш заказ отправлен', 'utf-8'),
], 'Заказ 5531 передан в доставку.\n', 'utf-8')

MAILS['07-date-only.eml'] = message([
    'Date: Wed, 2 Dec 2026 09:00:00 +0300',
    'From: old-client@example.su',
    'Subject: ' + bword('Без идентификатора', 'koi8-r'),
], 'Письмо без Message-ID и Received.\n')

MAILS['08-boundary-without-quote.eml'] = message([
    received_chain(1, 8),
    'Message-ID: <noquote.8@example.ru>',
    'Date: Tue, 1 Dec 2026 11:11:11 +0300',
    'From: ' + bword('Сервер рассылок', 'koi8-r') + ' <list@example.ru>',
    'Subject: ' + bword('Новости недели', 'koi8-r'),
    'MIME-Version: 1.0',
    'Content-Type: multipart/alternative; boundary=b1_5f3e',
], '--b1_5f3e\nContent-Type: text/plain; charset=koi8-r\n\nНовости.\n--b1_5f3e--\n')

MAILS['09-header-over-32k.eml'] = message([
    received_chain(180, 9),
    'Message-ID: <long.header.9@example.ru>',
    'Date: Mon, 30 Nov 2026 23:59:59 +0300',
    'From: ' + bword('Очень длинный заголовок', 'koi8-r') + ' <long@example.ru>',
    'Subject: ' + bword('Письмо с заголовком больше 32 КБ', 'koi8-r'),
], 'Тело.\n')

MAILS['10-semicolon-subject.eml'] = message([
    received_chain(2, 10),
    'Message-ID: <semi;colon.10@example.ru>   ',
    'Date: Sun, 29 Nov 2026 15:30:00 +0300',
    'From: "Sidorov; Petr" <petr@example.ru>',
    'Subject: ' + bword('Итоги: план; факт; прогноз', 'windows-1251'),
], 'Таблица ниже.\n', 'windows-1251')

MAILS['11-encoded-name-and-address.eml'] = message([
    received_chain(2, 11),
    'Message-ID: <name.addr.11@example.ru>',
    'Date: Sat, 28 Nov 2026 07:07:07 +0300',
    'From: ' + qword('Служба поддержки', 'utf-8') + ' <support@example.ru>',
    'Subject: Re: ' + qword('Заявка 4417', 'utf-8'),
], 'Заявка закрыта.\n', 'utf-8')

MAILS['12-iso-2022-jp.eml'] = message([
    received_chain(1, 12),
    'Message-ID: <iso2022.12@example.jp>',
    'Date: Fri, 27 Nov 2026 06:00:00 +0900',
    'From: tanaka@example.jp',
    'Subject: =?iso-2022-jp?B?GyRCJEskTyQkJEEkTxsoQg==?=',
], 'Konnichiwa.\n', 'ascii')

MAILS['13-koi8u-subject.eml'] = message([
    received_chain(2, 13),
    'Message-ID: <koi8u.13@example.com.ua>',
    'Date: Thu, 26 Nov 2026 14:20:00 +0200',
    'From: ' + bword('Олеся Коваль', 'koi8-u') + ' <olesia@example.com.ua>',
    'Subject: ' + bword('Звіт: їдальня, ґанок і подвір\'я', 'koi8-u'),
    'MIME-Version: 1.0',
    'Content-Type: text/plain; charset=koi8-u',
], 'Добрий день! Звіт додаю.\n', 'koi8-u')

MAILS['14-iso-8859-5-subject.eml'] = message([
    received_chain(1, 14),
    'Message-ID: <iso88595.14@example.ru>',
    'Date: Wed, 25 Nov 2026 09:30:00 +0300',
    'From: ' + qword('Дмитрий Орлов', 'iso-8859-5') + ' <dmitry@example.ru>',
    'Subject: ' + qword('Счёт за декабрь', 'iso-8859-5'),
    'MIME-Version: 1.0',
    'Content-Type: text/plain; charset=iso-8859-5',
], 'Счёт в приложении.\n', 'iso-8859-5')


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else 'tests/retrieval/mails'
    os.makedirs(folder, exist_ok=True)
    for name, data in sorted(MAILS.items()):
        with open(os.path.join(folder, name), 'wb') as f:
            f.write(data)
        print('wrote', name, len(data), 'bytes')


if __name__ == '__main__':
    main()
