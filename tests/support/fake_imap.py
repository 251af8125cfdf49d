#!/usr/bin/env python3
"""A scripted IMAP server for what a real server cannot show: literals that
arrive one byte at a time, untagged responses between the lines of a FETCH, a
BYE in the middle of a reply, a huge header, a server without IDLE or UIDPLUS,
a changed UIDVALIDITY, a server that falls silent, and new mail announced to
a client in IDLE when the test says so.

Usage: fake_imap.py CONTROL_DIR ADDRESS:PORT[,ADDRESS:PORT...] [CERTS_DIR]
Port 993 speaks TLS from the first byte (implicit TLS); the others begin in
the clear. With CERTS_DIR (tools/test_certs.sh) the server can offer TLS.
The mailbox is INBOX; other mailbox names are refused.
At every new connection the server reads CONTROL_DIR/scenario.json:
  messages      list of message files (paths) served as INBOX
  uids          their UIDs, ascending (default 1, 2, 3...)
  uidValidity   the UIDVALIDITY of INBOX (default 1)
  password      accepted password, for LOGIN and AUTHENTICATE PLAIN
                (default: any)
  starttls      true: STARTTLS is offered on a connection in the clear
  loginDisabled true: a connection in the clear offers LOGINDISABLED and
                refuses LOGIN and AUTHENTICATE
  noIdle        true: IDLE is neither offered nor accepted
  noUidplus     true: UIDPLUS is not offered and UID EXPUNGE is refused
  capabilities  list replacing the whole capability list
  replies       {"<command>": "<reply>"}: replaces the reply to a command;
                "{tag}" in the reply stands for the command's tag
  silentOn      command after which nothing is answered any more
                ("greeting": not even a greeting; "DONE": IDLE begins, but
                its end is never answered)
  byeOn         {"<command>": N}: sends the first N untagged lines of the
                reply (of a FETCH: its messages and interjections), then
                "* BYE", and closes the connection
  dropOn        {"<command>": N}: sends the first N bytes of the reply, then
                closes the connection without a word
  interject     list of untagged lines sent between the responses of a FETCH
                (default none), e.g. ["* 3 EXISTS", "* 1 FETCH (FLAGS (\\Seen))"]
  splitBytes    true: every reply goes out one byte at a time (a literal
                reaches the client split over many reads)
  delayMs       delay before every reply
  hugeHeader    header size in bytes of message 1 (generated)
  idleByeMs     a client in IDLE gets "* BYE" and a closed connection after
                that many milliseconds
  idleByeOnce   true: only the first IDLE of the scenario ends so
A <command> key matches every command that begins with it, its tag left out,
letter case ignored ("UID FETCH" matches "a5 uid fetch 1:* (UID)").
New mail: each line of CONTROL_DIR/arrivals.txt is the path of a message
delivered after the scenario's ones (UIDs following the last one). A client
in IDLE is told "* N EXISTS" within a few hundredths of a second of the line's
arrival; NOOP tells it too; a new connection sees it in the mailbox.
Every command line received is appended to CONTROL_DIR/transcript.txt; the
UIDs of expunged messages to CONTROL_DIR/expunged.txt (later connections no
longer see them) and of messages whose \\Seen flag was set (a FETCH of a body
part without PEEK, or a STORE) to CONTROL_DIR/seen.txt.
"""
import base64
import json
import os
import re
import select
import socket
import socketserver
import ssl
import sys
import threading
import time

CONTROL = sys.argv[1]
CERTS = sys.argv[-1] if len(sys.argv) > 3 and os.path.isdir(sys.argv[-1]) else None
IMPLICIT_TLS_PORT = 993
IDLE_LOOK_S = 0.02
lock = threading.Lock()


class Closed(Exception):
    """The connection ends (client gone, BYE or a drop)."""


def control(name):
    return os.path.join(CONTROL, name)


def load_scenario():
    try:
        with open(control('scenario.json'), encoding='utf-8') as f:
            return json.load(f)
    except (OSError, ValueError):
        return {}


def read_lines(name):
    try:
        with open(control(name), encoding='latin-1') as f:
            return [line.rstrip('\n') for line in f if line.strip()]
    except OSError:
        return []


def record(name, line):
    with lock:
        with open(control(name), 'a', encoding='latin-1') as f:
            f.write(line + '\n')


def read_bytes(path):
    with open(path, 'rb') as f:
        return f.read()


def huge_header(size):
    lines = ['Message-ID: <huge@fake.test>', 'Date: Mon, 7 Dec 2026 10:00:00 +0300',
             'From: huge@fake.test', 'Subject: huge header']
    text = '\r\n'.join(lines) + '\r\n'
    filler_size = len('X-Filler-000000: ') + 90 + 2
    count = max(0, -(-(size - len(text)) // filler_size))
    filler = ['X-Filler-%06d: %s\r\n' % (n, 'x' * 90) for n in range(count)]
    return (text + ''.join(filler) + '\r\n' + 'body\r\n').encode('ascii')


def header_of(message):
    """The header with the empty line that ends it, as BODY[HEADER] is."""
    end = message.find(b'\r\n\r\n')
    return message if end < 0 else message[:end + 4]


def matching(options, command):
    """The value of the first key the command begins with, else None."""
    for key, value in (options or {}).items():
        if command.upper().startswith(key.upper()):
            return value
    return None


class Mailbox:
    """INBOX as one connection sees it: messages with UIDs and flags."""

    def __init__(self, scenario):
        self.scenario = scenario
        self.validity = int(scenario.get('uidValidity', 1))
        paths = scenario.get('messages', [])
        bodies = [read_bytes(p) for p in paths]
        if scenario.get('hugeHeader'):
            huge = huge_header(int(scenario['hugeHeader']))
            bodies[:1] = [huge]
        uids = [int(u) for u in scenario.get('uids', [])][:len(bodies)]
        while len(uids) < len(bodies):
            uids.append(uids[-1] + 1 if uids else 1)
        self.last_uid = uids[-1] if uids else 0
        gone = set(int(u) for u in read_lines('expunged.txt'))
        self.items = [{'uid': u, 'body': b, 'flags': set()} for u, b in zip(uids, bodies) if u not in gone]
        self.arrived = 0
        self.take_arrivals()

    def take_arrivals(self):
        """Adds the messages delivered since; True when there were any."""
        paths = read_lines('arrivals.txt')[self.arrived:]
        for path in paths:
            self.arrived += 1
            self.items.append({'uid': self.last_uid + self.arrived, 'body': read_bytes(path), 'flags': set()})
        return bool(paths)

    def uid_next(self):
        return self.last_uid + self.arrived + 1

    def select(self, text, by_uid):
        """The (sequence number, item) pairs of a sequence set."""
        keys = [item['uid'] for item in self.items] if by_uid else list(range(1, len(self.items) + 1))
        top = keys[-1] if keys else 0
        chosen = set()
        for part in text.split(','):
            ends = [top if e == '*' else int(e) for e in part.split(':')]
            low, high = min(ends), max(ends)
            chosen.update(k for k in keys if low <= k <= high)
        return [(n + 1, item) for n, (k, item) in enumerate(zip(keys, self.items)) if k in chosen]


class Handler(socketserver.BaseRequestHandler):
    def setup(self):
        self.scenario = load_scenario()
        self.delay = self.scenario.get('delayMs', 0) / 1000.0
        self.buffer = b''
        self.tls = False
        self.mailbox = None
        self.read_only = True

    def handle(self):
        try:
            if self.scenario.get('splitBytes'):
                self.request.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            if self.server.server_address[1] == IMPLICIT_TLS_PORT:
                self.start_tls()
            if self.scenario.get('silentOn') == 'greeting':
                return self.hold()
            self.send(b'* OK fake IMAP ready\r\n')
            while True:
                tag, command = self.read_command()
                record('transcript.txt', (tag + ' ' + command).strip())
                self.dispatch(tag, command)
        except (Closed, ConnectionError, OSError):  # ssl.SSLError is an OSError
            pass

    # Reading and sending.

    def receive(self):
        chunk = self.request.recv(65536)
        if not chunk:
            raise Closed
        self.buffer += chunk

    def read_line(self):
        while b'\r\n' not in self.buffer:
            self.receive()
        line, self.buffer = self.buffer.split(b'\r\n', 1)
        return line.decode('latin-1')

    def read_command(self):
        """A tag and a command, literals ({n} or {n+}) read into it."""
        text = self.read_line()
        while True:
            literal = re.search(r'\{(\d+)(\+?)\}$', text)
            if not literal:
                break
            size = int(literal.group(1))
            if not literal.group(2):
                self.send(b'+ go ahead\r\n')
            while len(self.buffer) < size:
                self.receive()
            data, self.buffer = self.buffer[:size], self.buffer[size:]
            quoted = data.decode('latin-1').replace('\\', '\\\\').replace('"', '\\"')
            text = text[:literal.start()] + '"' + quoted + '"' + self.read_line()
        tag, _, command = text.partition(' ')
        return tag, command

    def send(self, data, command=None):
        if self.delay:
            time.sleep(self.delay)
        drop = matching(self.scenario.get('dropOn'), command) if command else None
        if drop is not None:
            self.request.sendall(data[:int(drop)])
            raise Closed
        if self.scenario.get('splitBytes'):
            for i in range(len(data)):
                self.request.sendall(data[i:i + 1])
                time.sleep(0.0002)
        else:
            self.request.sendall(data)

    def reply(self, command, lines, tagged):
        """Untagged lines (bytes, CRLF included) and the tagged end; a byeOn
        of the command cuts them short."""
        bye = matching(self.scenario.get('byeOn'), command)
        if bye is not None:
            lines = lines[:int(bye)]
        self.send(b''.join(lines) + (b'' if bye is not None else tagged), command)
        if bye is not None:
            self.send(b'* BYE fake IMAP going away\r\n')
            raise Closed

    def start_tls(self):
        name = self.scenario.get('cert', 'server')
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(os.path.join(CERTS, name + '.pem'), os.path.join(CERTS, name + '.key'))
        self.request = context.wrap_socket(self.request, server_side=True)
        self.tls = True

    def hold(self):
        # Keep the connection open and say nothing until the client leaves.
        while self.request.recv(4096):
            pass

    # Commands.

    def capabilities(self):
        if 'capabilities' in self.scenario:
            return list(self.scenario['capabilities'])
        offer = ['IMAP4rev1', 'LITERAL+', 'SASL-IR', 'AUTH=PLAIN']
        offer += [] if self.scenario.get('noIdle') else ['IDLE']
        offer += [] if self.scenario.get('noUidplus') else ['UIDPLUS']
        if not self.tls and CERTS and self.scenario.get('starttls'):
            offer.append('STARTTLS')
        if not self.tls and self.scenario.get('loginDisabled'):
            offer.append('LOGINDISABLED')
        return offer

    def dispatch(self, tag, command):
        silent = self.scenario.get('silentOn')
        if silent and command.upper().startswith(silent.upper()):
            self.hold()
            raise Closed
        answer = matching(self.scenario.get('replies'), command)
        if answer is not None:
            return self.send(answer.replace('{tag}', tag).encode('latin-1'), command)
        words = command.split(' ')
        verb = words[0].upper()
        if verb == 'UID' and len(words) > 1:
            verb = 'UID ' + words[1].upper()
            words = words[1:]
        ok = ('%s OK %s completed\r\n' % (tag, verb)).encode()
        handler = getattr(self, 'on_' + verb.lower().replace(' ', '_'), None)
        if handler is None:
            return self.send(('%s BAD Unknown command\r\n' % tag).encode(), command)
        handler(tag, command, words[1:], ok)

    def on_capability(self, tag, command, args, ok):
        self.reply(command, [('* CAPABILITY %s\r\n' % ' '.join(self.capabilities())).encode()], ok)

    def on_noop(self, tag, command, args, ok):
        self.reply(command, self.news(), ok)

    def on_starttls(self, tag, command, args, ok):
        if self.tls or not CERTS or 'STARTTLS' not in self.capabilities():
            return self.send(('%s BAD STARTTLS not offered\r\n' % tag).encode(), command)
        self.send(('%s OK Begin TLS negotiation now\r\n' % tag).encode(), command)
        self.start_tls()

    def login_refused(self, tag, command):
        if not self.tls and self.scenario.get('loginDisabled'):
            self.send(('%s NO [PRIVACYREQUIRED] Login only inside TLS\r\n' % tag).encode(), command)
            return True
        return False

    def logged_in(self, tag, command, password):
        expected = self.scenario.get('password')
        if expected is not None and password != expected:
            return self.send(('%s NO [AUTHENTICATIONFAILED] Authentication failed.\r\n' % tag).encode(), command)
        caps = ' '.join(self.capabilities())
        self.send(('%s OK [CAPABILITY %s] Logged in\r\n' % (tag, caps)).encode(), command)

    def on_login(self, tag, command, args, ok):
        if not self.login_refused(tag, command):
            words = re.findall(r'"((?:[^"\\]|\\.)*)"|(\S+)', command)[1:]
            values = [re.sub(r'\\(.)', r'\1', q) if q else a for q, a in words]
            self.logged_in(tag, command, values[1] if len(values) > 1 else '')

    def on_authenticate(self, tag, command, args, ok):
        if self.login_refused(tag, command):
            return
        if not args or args[0].upper() != 'PLAIN':
            return self.send(('%s NO Unsupported mechanism\r\n' % tag).encode(), command)
        response = args[1] if len(args) > 1 else None
        if response is None:
            self.send(b'+ \r\n')
            response = self.read_line()
            record('transcript.txt', response)
        try:
            parts = base64.b64decode(response, validate=True).split(b'\0')
        except ValueError:
            parts = []
        if len(parts) != 3:
            return self.send(('%s BAD Invalid response\r\n' % tag).encode(), command)
        self.logged_in(tag, command, parts[2].decode('latin-1'))

    def open_mailbox(self, tag, command, args, read_only):
        name = args[0].strip('"').upper() if args else ''
        if name != 'INBOX':
            return self.send(('%s NO Mailbox doesn\'t exist\r\n' % tag).encode(), command)
        self.mailbox = Mailbox(self.scenario)
        self.read_only = read_only
        box = self.mailbox
        lines = ['* FLAGS (\\Answered \\Flagged \\Deleted \\Seen \\Draft)',
                 '* %d EXISTS' % len(box.items), '* 0 RECENT',
                 '* OK [UIDVALIDITY %d] UIDs valid' % box.validity,
                 '* OK [UIDNEXT %d] Predicted next UID' % box.uid_next()]
        mode = 'READ-ONLY' if read_only else 'READ-WRITE'
        self.reply(command, [(l + '\r\n').encode() for l in lines], ('%s OK [%s] done\r\n' % (tag, mode)).encode())

    def on_select(self, tag, command, args, ok):
        self.open_mailbox(tag, command, args, False)

    def on_examine(self, tag, command, args, ok):
        self.open_mailbox(tag, command, args, True)

    def on_status(self, tag, command, args, ok):
        if not args or args[0].strip('"').upper() != 'INBOX':
            return self.send(('%s NO Mailbox doesn\'t exist\r\n' % tag).encode(), command)
        box = Mailbox(self.scenario)
        values = {'MESSAGES': len(box.items), 'UIDNEXT': box.uid_next(), 'UIDVALIDITY': box.validity,
                  'UNSEEN': len(box.items), 'RECENT': 0}
        asked = [a.strip('()').upper() for a in args[1:] if a.strip('()').upper() in values]
        line = '* STATUS INBOX (%s)\r\n' % ' '.join('%s %d' % (a, values[a]) for a in asked)
        self.reply(command, [line.encode()], ok)

    def news(self):
        """EXISTS for mails delivered since the client last heard."""
        if self.mailbox and self.mailbox.take_arrivals():
            return [b'* %d EXISTS\r\n' % len(self.mailbox.items)]
        return []

    def on_uid_search(self, tag, command, args, ok):
        if self.mailbox is None:
            return self.send(('%s BAD No mailbox selected\r\n' % tag).encode(), command)
        criteria = [a.upper() for a in args]
        found = self.mailbox.items
        if 'UID' in criteria and criteria.index('UID') + 1 < len(args):
            found = [item for _, item in self.mailbox.select(args[criteria.index('UID') + 1], True)]
        line = ('* SEARCH' + ''.join(' %d' % item['uid'] for item in found) + '\r\n').encode()
        self.reply(command, [line], ok)

    def on_uid_fetch(self, tag, command, args, ok):
        self.fetch(tag, command, args, ok, True)

    def on_fetch(self, tag, command, args, ok):
        self.fetch(tag, command, args, ok, False)

    def fetch(self, tag, command, args, ok, by_uid):
        if self.mailbox is None or len(args) < 2:
            return self.send(('%s BAD No mailbox selected or no items\r\n' % tag).encode(), command)
        wanted = ' '.join(args[1:]).upper()
        interject = b''.join((line + '\r\n').encode('latin-1') for line in self.scenario.get('interject', []))
        lines = []
        for number, item in self.mailbox.select(args[0], by_uid):
            parts = []
            if by_uid or 'UID' in wanted:
                parts.append(b'UID %d' % item['uid'])
            if 'RFC822.SIZE' in wanted:
                parts.append(b'RFC822.SIZE %d' % len(item['body']))
            if 'BODY[HEADER]' in wanted or 'BODY.PEEK[HEADER]' in wanted:
                header = header_of(item['body'])
                parts.append(b'BODY[HEADER] {%d}\r\n' % len(header) + header)
                if 'BODY[HEADER]' in wanted and not self.read_only:
                    self.set_flags(item, {'\\Seen'})
            if 'FLAGS' in wanted:
                parts.append(b'FLAGS (%s)' % ' '.join(sorted(item['flags'])).encode())
            lines.append(b'* %d FETCH (' % number + b' '.join(parts) + b')\r\n')
            if interject and len(lines) < len(self.mailbox.items):
                lines.append(interject)
        self.reply(command, lines, ok)

    def set_flags(self, item, flags):
        if '\\Seen' in flags and '\\Seen' not in item['flags']:
            record('seen.txt', str(item['uid']))
        item['flags'] |= flags

    def on_uid_store(self, tag, command, args, ok):
        self.store(tag, command, args, ok, True)

    def on_store(self, tag, command, args, ok):
        self.store(tag, command, args, ok, False)

    def store(self, tag, command, args, ok, by_uid):
        if self.mailbox is None or self.read_only or len(args) < 3:
            return self.send(('%s NO Mailbox is read-only or not selected\r\n' % tag).encode(), command)
        how = args[1].upper()
        flags = set(re.findall(r'\\?\w+', ' '.join(args[2:])))
        lines = []
        for number, item in self.mailbox.select(args[0], by_uid):
            if how.startswith('-'):
                item['flags'] -= flags
            else:
                if not how.startswith('+'):
                    item['flags'] = set()
                self.set_flags(item, flags)
            if not how.endswith('.SILENT'):
                lines.append(b'* %d FETCH (UID %d FLAGS (%s))\r\n' %
                             (number, item['uid'], ' '.join(sorted(item['flags'])).encode()))
        self.reply(command, lines, ok)

    def expunge(self, command, ok, chosen=None):
        lines = []
        for number in range(len(self.mailbox.items), 0, -1):
            item = self.mailbox.items[number - 1]
            if '\\Deleted' in item['flags'] and (chosen is None or item in chosen):
                del self.mailbox.items[number - 1]
                record('expunged.txt', str(item['uid']))
                lines.append(b'* %d EXPUNGE\r\n' % number)
        self.reply(command, lines, ok)

    def on_expunge(self, tag, command, args, ok):
        if self.mailbox is None or self.read_only:
            return self.send(('%s NO Mailbox is read-only or not selected\r\n' % tag).encode(), command)
        self.expunge(command, ok)

    def on_uid_expunge(self, tag, command, args, ok):
        # UID EXPUNGE belongs to UIDPLUS, and to IMAP4rev2 itself.
        offered = set(c.upper() for c in self.capabilities())
        if self.scenario.get('noUidplus') or not offered & {'UIDPLUS', 'IMAP4REV2'}:
            return self.send(('%s BAD Unknown command\r\n' % tag).encode(), command)
        if self.mailbox is None or self.read_only or not args:
            return self.send(('%s NO Mailbox is read-only or not selected\r\n' % tag).encode(), command)
        self.expunge(command, ok, [item for _, item in self.mailbox.select(args[0], True)])

    def on_close(self, tag, command, args, ok):
        if self.mailbox is not None and not self.read_only:
            for number in range(len(self.mailbox.items), 0, -1):
                item = self.mailbox.items[number - 1]
                if '\\Deleted' in item['flags']:
                    del self.mailbox.items[number - 1]
                    record('expunged.txt', str(item['uid']))
        self.mailbox = None
        self.send(ok, command)

    def on_idle(self, tag, command, args, ok):
        if self.scenario.get('noIdle'):
            return self.send(('%s BAD Unknown command\r\n' % tag).encode(), command)
        self.send(b'+ idling\r\n', command)
        bye_ms = self.scenario.get('idleByeMs')
        if self.scenario.get('idleByeOnce'):
            idles = [l for l in read_lines('transcript.txt') if l.upper().endswith(' IDLE')]
            bye_ms = bye_ms if len(idles) <= 1 else None
        bye_at = time.monotonic() + bye_ms / 1000.0 if bye_ms else None
        while b'\r\n' not in self.buffer:
            for line in self.news():
                self.send(line)
            if bye_at and time.monotonic() >= bye_at:
                self.send(b'* BYE fake IMAP idled out\r\n')
                raise Closed
            pending = getattr(self.request, 'pending', lambda: 0)()
            if pending or select.select([self.request], [], [], IDLE_LOOK_S)[0]:
                self.receive()
        line = self.read_line()
        record('transcript.txt', line)
        if self.scenario.get('silentOn', '').upper() == 'DONE':
            self.hold()
            raise Closed
        if line.upper() != 'DONE':
            return self.send(('%s BAD Expected DONE\r\n' % tag).encode())
        self.send(('%s OK Idle completed\r\n' % tag).encode())

    def on_logout(self, tag, command, args, ok):
        self.send(b'* BYE Logging out\r\n' + ok, command)
        raise Closed


class Server(socketserver.ThreadingTCPServer):
    allow_reuse_address = True
    daemon_threads = True


def main():
    args = [a for a in sys.argv[2:] if a != CERTS]
    places = [(a, int(p)) for a, p in (item.rsplit(':', 1) for item in args[0].split(','))]
    os.makedirs(CONTROL, exist_ok=True)
    servers = [Server(place, Handler) for place in places]
    for server in servers[1:]:
        threading.Thread(target=server.serve_forever, daemon=True).start()
    servers[0].serve_forever()


if __name__ == '__main__':
    main()
