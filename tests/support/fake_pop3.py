#!/usr/bin/env python3
"""A scripted POP3 server for what a real server cannot show: replies split
into single bytes, a server that falls silent, a connection dropped in the
middle of a header, negative or malformed replies, huge headers, and slow
replies (also as a delaying relay in front of another server).

Usage: fake_pop3.py CONTROL_DIR [ADDRESS [PORT]] [CERTS_DIR]
       fake_pop3.py CONTROL_DIR ADDRESS:PORT[,ADDRESS:PORT...] [CERTS_DIR]
Port 995 speaks TLS from the first byte (implicit TLS); the others begin in
the clear. With CERTS_DIR (tools/test_certs.sh) the server offers TLS.
At every new connection the server reads CONTROL_DIR/scenario.json:
  messages      list of message files (paths) served as the mailbox
  password      accepted password (default: any)
  replies       {"<command line>": "<reply>"}: replaces the reply to that
                exact command (e.g. "STAT", "LIST 2", "TOP 3 0", "DELE 1")
  silentOn      command line after which nothing is answered any more
  ignoreFin     true: a silent server keeps the connection open for a while
                after the client has shut its sending side down, as one that
                never looks at the connection does
  dropOn        {"<command line>": N}: send the first N bytes of the reply,
                then close the connection
  splitBytes    true: send every reply one byte at a time
  oneSegment    true: send the TOP status line and header in one piece
                (default: status line first, then the header)
  delayMs       delay before every reply
  hugeHeader    header size in bytes for message 1 (generated)
  streamOn      "greeting": the greeting is one line that never ends; a
                command line: its reply is "+OK" and header lines that never
                end (a server streaming for ever)
  resetAfter    command line after whose reply the connection is reset
  relayTo       "host:port": forward everything to that server, every
                piece of a reply delayMs after the server sent it (TLS bytes
                too: no TLS of its own)
  holdReplies   true, with relayTo: once a client is connected the relay
                holds the server's replies until the gate opens (see below)
  cert          certificate the TLS of this connection shows: "server"
                (default), "wrongname", "expired", "unknown" (signed by itself)
                or "untrusted" (from an authority it does not send)
  clientCert    "optional" or "required": the TLS asks the client for a
                certificate of the test authority; a handshake that stalls
                (a client that does not answer the request) is given up after
                HANDSHAKE_LIMIT_S, so that such a client fails instead of
                hanging
  tlsMax        "1.1": the TLS offers nothing newer than TLS 1.1
  quitWithClose true: the reply to QUIT and the TLS close_notify leave in one
                send; "garbled": the reply and a record that cannot be
                decrypted. The transcript then gets a line "(one send: N TLS
                records)"
  capa          list of capability lines the CAPA command offers (e.g.
                ["UIDL", "PIPELINING"]); without it CAPA offers USER and TOP
  brokenTls     on port 995, a handshake that fails: "clear" greets in the
                clear, "close" closes once the ClientHello is in
  stls          true: CAPA offers STLS too (and STLS is answered, unless
                "replies" replaces its answer)
  uids          unique ids the UIDL command gives, by message (default:
                the message file's name)
  batchReplies  true: the replies to all commands that arrived together go
                out in one piece
  holdOn        command line whose reply is held until the gate opens: a
                client held in mid-dialogue for as long as the test needs
Both holds share one gate: as it begins to hold, the server creates
CONTROL_DIR/held; it goes on once CONTROL_DIR/release exists (the test opens
the gate), a new scenario is written, or a minute has passed.
Every command received is appended to CONTROL_DIR/transcript.txt; deleted
messages (DELE answered +OK, then QUIT) to CONTROL_DIR/deleted.txt.
"""
import json
import os
import queue
import socket
import socketserver
import ssl
import struct
import sys
import threading
import time

CONTROL = sys.argv[1]
HOLD_LIMIT_S = 60
HANDSHAKE_LIMIT_S = 15
# The gate of both holds: the server creates HELD_FILE as it begins to hold
# and goes on when the test creates RELEASE_FILE.
HELD_FILE = 'held'
RELEASE_FILE = 'release'
CERTS = sys.argv[-1] if len(sys.argv) > 3 and os.path.isdir(sys.argv[-1]) else None
IMPLICIT_TLS_PORT = 995
lock = threading.Lock()


def tls_context(scenario):
    name = scenario.get('cert', 'server')
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(os.path.join(CERTS, name + '.pem'), os.path.join(CERTS, name + '.key'))
    client_cert = scenario.get('clientCert')
    if client_cert:
        context.load_verify_locations(os.path.join(CERTS, 'ca.pem'))
        context.verify_mode = ssl.CERT_REQUIRED if client_cert == 'required' else ssl.CERT_OPTIONAL
    if scenario.get('tlsMax') == '1.1':
        # The old protocols need the lowest security level of OpenSSL.
        context.set_ciphers('DEFAULT:@SECLEVEL=0')
        context.minimum_version = ssl.TLSVersion.TLSv1
        context.maximum_version = ssl.TLSVersion.TLSv1_1
    return context


def tls_records(data):
    """How many TLS records data holds, by their headers."""
    count, at = 0, 0
    while at + 5 <= len(data):
        at += 5 + struct.unpack('>H', data[at + 3:at + 5])[0]
        count += 1
    return count


class MemoryTls:
    """Server TLS through memory buffers: what goes to the socket, and in
    how many sends, is the server's choice (a TLS socket sends each record
    on its own). Offers what the handler uses of a socket."""

    def __init__(self, sock, context):
        self.sock = sock
        self.incoming = ssl.MemoryBIO()
        self.outgoing = ssl.MemoryBIO()
        self.tls = context.wrap_bio(self.incoming, self.outgoing, server_side=True)
        self.retry(self.tls.do_handshake)

    def retry(self, step):
        while True:
            try:
                result = step()
                self.flush()
                return result
            except ssl.SSLWantReadError:
                self.flush()
                data = self.sock.recv(65536)
                if not data:
                    raise ConnectionResetError
                self.incoming.write(data)

    def flush(self):
        data = self.outgoing.read()
        if data:
            self.sock.sendall(data)
        return data

    def recv(self, size):
        try:
            return self.retry(lambda: self.tls.read(size))
        except ssl.SSLZeroReturnError:
            return b''

    def sendall(self, data):
        self.tls.write(data)
        self.flush()

    def send_and_close(self, data, garbled=False):
        """data, then close_notify (or a record of noise), in one send;
        returns the records sent."""
        self.flush()
        self.tls.write(data)
        if garbled:
            self.outgoing.write(b'\x17\x03\x03\x00\x40' + os.urandom(64))
        else:
            try:
                self.tls.unwrap()
            except ssl.SSLWantReadError:
                pass  # the client's close_notify is not awaited
        return tls_records(self.flush())

    def __getattr__(self, name):
        return getattr(self.sock, name)


def load_scenario():
    try:
        with open(os.path.join(CONTROL, 'scenario.json'), encoding='utf-8') as f:
            return json.load(f)
    except (OSError, ValueError):
        return {}


def scenario_stamp():
    try:
        return os.stat(os.path.join(CONTROL, 'scenario.json')).st_mtime_ns
    except OSError:
        return None


def hold_until_released(stamp):
    """Says that the server holds, then waits until the test opens the gate
    or plays another scenario."""
    open(os.path.join(CONTROL, HELD_FILE), 'a').close()
    release = os.path.join(CONTROL, RELEASE_FILE)
    deadline = time.monotonic() + HOLD_LIMIT_S
    while not os.path.exists(release) and scenario_stamp() == stamp and time.monotonic() < deadline:
        time.sleep(0.01)


def record(name, line):
    with lock:
        with open(os.path.join(CONTROL, name), 'a', encoding='latin-1') as f:
            f.write(line + '\n')


def huge_header(size):
    lines = ['Message-ID: <huge@fake.test>', 'Date: Mon, 7 Dec 2026 10:00:00 +0300',
             'From: huge@fake.test', 'Subject: huge header']
    text = '\r\n'.join(lines) + '\r\n'
    # Lines gathered in a list and joined once: adding them one by one to
    # the text takes seconds for a header of megabytes.
    filler_size = len('X-Filler-000000: ') + 90 + 2
    count = max(0, -(-(size - len(text)) // filler_size))
    filler = ['X-Filler-%06d: %s\r\n' % (n, 'x' * 90) for n in range(count)]
    return (text + ''.join(filler) + '\r\n' + 'body\r\n').encode('ascii')


def load_messages(scenario):
    messages = []
    for path in scenario.get('messages', []):
        with open(path, 'rb') as f:
            messages.append(f.read())
    if scenario.get('hugeHeader'):
        if messages:
            messages[0] = huge_header(int(scenario['hugeHeader']))
        else:
            messages.append(huge_header(int(scenario['hugeHeader'])))
    return messages


def header_of(message):
    end = message.find(b'\r\n\r\n')
    head = message if end < 0 else message[:end + 2]
    lines = head.split(b'\r\n')
    # Dot-stuffing as a server does it.
    stuffed = [b'.' + l if l.startswith(b'.') else l for l in lines]
    return b'\r\n'.join(stuffed) + b'\r\n.\r\n'


class Handler(socketserver.BaseRequestHandler):
    def setup(self):
        self.held = None
        self.stamp = scenario_stamp()
        self.scenario = load_scenario()
        self.delay = self.scenario.get('delayMs', 0) / 1000.0

    def send(self, data, command=None):
        if self.delay:
            time.sleep(self.delay)
        drop = self.scenario.get('dropOn', {}).get(command) if command else None
        if drop is not None:
            self.flush_held()
            self.request.sendall(data[:int(drop)])
            raise ConnectionAbortedError
        if self.held is not None:
            self.held += data
            return
        if self.scenario.get('splitBytes'):
            # Each byte in a segment of its own (no Nagle, see handle), a
            # moment apart: long enough for the client to meet it alone
            # most of the time, short enough for replies of kilobytes.
            for i in range(len(data)):
                self.request.sendall(data[i:i + 1])
                time.sleep(0.0002)
        else:
            self.request.sendall(data)

    def handle(self):
        if self.scenario.get('relayTo'):
            return self.relay()
        try:
            if self.scenario.get('splitBytes'):
                self.request.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            if self.server.server_address[1] == IMPLICIT_TLS_PORT:
                broken = self.scenario.get('brokenTls')
                if broken == 'clear':
                    self.request.sendall(b'+OK fake POP3 ready\r\n')
                    return self.hold()
                if broken == 'close':
                    self.request.recv(4096)
                    return
                self.start_tls()
            self.serve()
        except (ConnectionError, OSError):  # ssl.SSLError is an OSError
            pass

    def start_tls(self):
        context = tls_context(self.scenario)
        self.request.settimeout(HANDSHAKE_LIMIT_S)
        if self.scenario.get('quitWithClose'):
            self.request = MemoryTls(self.request, context)
        else:
            self.request = context.wrap_socket(self.request, server_side=True)
        self.request.settimeout(None)

    def serve(self):
        messages = load_messages(self.scenario)
        uids = self.scenario.get('uids') or [os.path.basename(p) for p in self.scenario.get('messages', [])]
        self.uids = [str(u) for u in uids] + ['uid-%d' % (i + 1) for i in range(len(uids), len(messages))]
        deleted = set()
        replies = self.scenario.get('replies', {})
        silent_on = self.scenario.get('silentOn')
        stream_on = self.scenario.get('streamOn')
        if silent_on == 'greeting':
            return self.hold()
        if stream_on == 'greeting':
            return self.stream(b'+OK ', b'x' * 1024)
        self.send(b'+OK fake POP3 ready\r\n')
        buffer = b''
        while True:
            chunk = self.request.recv(4096)
            if not chunk:
                return
            buffer += chunk
            self.held = b'' if self.scenario.get('batchReplies') else None
            try:
                if self.serve_lines(buffer, messages, deleted, replies, silent_on, stream_on) is False:
                    return
            finally:
                held, self.held = self.held, None
                if held:
                    self.request.sendall(held)
            buffer = buffer[buffer.rfind(b'\r\n') + 2:] if b'\r\n' in buffer else buffer

    def serve_lines(self, buffer, messages, deleted, replies, silent_on, stream_on):
        while b'\r\n' in buffer:
            raw, buffer = buffer.split(b'\r\n', 1)
            line = raw.decode('latin-1')
            record('transcript.txt', line)
            if line == self.scenario.get('holdOn'):
                self.flush_held()
                hold_until_released(self.stamp)
            if line == silent_on:
                self.flush_held()
                self.hold()
                return False
            if line == stream_on:
                self.flush_held()
                self.stream(b'+OK\r\n', b'X-Stream: ' + b'y' * 60 + b'\r\n')
                return False
            if line in replies:
                self.send(replies[line].encode('latin-1'), line)
            elif line.upper() == 'STLS' and CERTS:
                self.send(b'+OK Begin TLS negotiation now.\r\n', line)
                self.flush_held()
                self.start_tls()
                return True
            elif not self.answer(line, messages, deleted):
                return False
            if line == self.scenario.get('resetAfter'):
                self.flush_held()
                self.request.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack('ii', 1, 0))
                self.request.close()
                return False
        return True

    def flush_held(self):
        if self.held:
            self.request.sendall(self.held)
        self.held = b'' if self.held is not None else None

    def answer(self, line, messages, deleted):
        words = line.split(' ')
        verb = words[0].upper()
        live = [i for i in range(len(messages)) if i not in deleted]
        if verb == 'CAPA':
            offer = list(self.scenario.get('capa', ['USER', 'TOP']))
            if self.scenario.get('stls'):
                offer.append('STLS')
            self.send(('+OK\r\n' + ''.join(c + '\r\n' for c in offer) + '.\r\n').encode(), line)
        elif verb == 'USER':
            self.send(b'+OK\r\n', line)
        elif verb == 'PASS':
            password = self.scenario.get('password')
            ok = password is None or (len(words) > 1 and line[5:] == password)
            self.send(b'+OK Logged in.\r\n' if ok else b'-ERR [AUTH] Authentication failed.\r\n', line)
        elif verb == 'STAT':
            size = sum(len(messages[i]) for i in live)
            self.send(b'+OK %d %d\r\n' % (len(live), size), line)
        elif verb in ('UIDL', 'LIST') and len(words) == 1:
            values = self.uids if verb == 'UIDL' else [str(len(m)) for m in messages]
            lines = ''.join('%d %s\r\n' % (i + 1, values[i]) for i in live)
            self.send(('+OK\r\n' + lines + '.\r\n').encode('latin-1'), line)
        elif verb == 'LIST' and len(words) > 1:
            n = int(words[1])
            if 1 <= n <= len(messages) and (n - 1) not in deleted:
                self.send(b'+OK %d %d\r\n' % (n, len(messages[n - 1])), line)
            else:
                self.send(b'-ERR There is no message %d.\r\n' % n, line)
        elif verb == 'TOP' and len(words) > 1:
            n = int(words[1])
            if 1 <= n <= len(messages) and (n - 1) not in deleted:
                status = b'+OK\r\n'
                header = header_of(messages[n - 1])
                if self.scenario.get('oneSegment') or line in self.scenario.get('dropOn', {}):
                    self.send(status + header, line)
                else:
                    self.send(status, None)
                    self.send(header, None)
            else:
                self.send(b'-ERR There is no message %d.\r\n' % n, line)
        elif verb == 'DELE' and len(words) > 1:
            n = int(words[1])
            if 1 <= n <= len(messages) and (n - 1) not in deleted:
                deleted.add(n - 1)
                self.send(b'+OK Deleted.\r\n', line)
            else:
                self.send(b'-ERR There is no message %d.\r\n' % n, line)
        elif verb == 'QUIT':
            for i in sorted(deleted):
                record('deleted.txt', str(i + 1))
            if isinstance(self.request, MemoryTls):
                garbled = self.scenario.get('quitWithClose') == 'garbled'
                records = self.request.send_and_close(b'+OK Logging out.\r\n', garbled)
                record('transcript.txt', '(one send: %d TLS records)' % records)
            else:
                self.send(b'+OK Logging out.\r\n', line)
            return False
        else:
            self.send(b'-ERR Unknown command.\r\n', line)
        return True

    def stream(self, head, piece):
        # Until the client leaves (a failed send ends the handler).
        self.request.sendall(head)
        while True:
            self.request.sendall(piece * 32)
            time.sleep(0.01)

    def hold(self):
        # Keep the connection open and say nothing until the client leaves.
        while self.request.recv(4096):
            pass
        if self.scenario.get('ignoreFin'):
            time.sleep(15)

    def relay(self):
        host, port = self.scenario['relayTo'].rsplit(':', 1)
        upstream = socket.create_connection((host, int(port)))
        # Each piece goes on at once, as the server sent it.
        for s in (upstream, self.request):
            s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        done = threading.Event()

        def pump_up():
            try:
                while True:
                    data = self.request.recv(65536)
                    if not data:
                        break
                    upstream.sendall(data)
            except OSError:
                pass
            done.set()
            try:
                upstream.shutdown(socket.SHUT_WR)
            except OSError:
                pass

        threading.Thread(target=pump_up, daemon=True).start()
        # Every piece of a reply reaches the client delayMs after the server
        # sent it, as over a line with that latency: pieces that follow each
        # other closely are not held back one behind the other.
        pieces = queue.Queue()

        def pump_down():
            try:
                while True:
                    data = upstream.recv(65536)
                    pieces.put((time.monotonic() + self.delay, data))
                    if not data:
                        break
            except OSError:
                pieces.put((0, b''))

        threading.Thread(target=pump_down, daemon=True).start()
        if self.scenario.get('holdReplies'):
            hold_until_released(self.stamp)
        try:
            while True:
                due, data = pieces.get()
                if not data:
                    break
                wait = due - time.monotonic()
                if wait > 0:
                    time.sleep(wait)
                self.request.sendall(data)
        except OSError:
            pass
        upstream.close()


class Server(socketserver.ThreadingTCPServer):
    allow_reuse_address = True
    daemon_threads = True


def main():
    args = [a for a in sys.argv[2:] if a != CERTS]
    if args and ':' in args[0]:
        places = [(a, int(p)) for a, p in (item.rsplit(':', 1) for item in args[0].split(','))]
    else:
        places = [(args[0] if args else '127.0.0.2', int(args[1]) if len(args) > 1 else 110)]
    os.makedirs(CONTROL, exist_ok=True)
    servers = [Server(place, Handler) for place in places]
    for server in servers[1:]:
        threading.Thread(target=server.serve_forever, daemon=True).start()
    servers[0].serve_forever()


if __name__ == '__main__':
    main()
