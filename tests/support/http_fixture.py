#!/usr/bin/env python3
"""The update server and the telegram server of the tests and the demo.

Usage: http_fixture.py CONTROL_DIR [ADDRESS] [PORT] [CERTS_DIR]
With CERTS_DIR (tools/test_certs.sh) the same server also answers HTTPS on
the ports after PORT: PORT+1 with the certificate "server" (host name
localhost), PORT+2 "unknown", PORT+3 "wrongname", PORT+4 "expired",
PORT+5 "crlgone" (its revocation list's address does not answer) and
PORT+6 "untrusted" (its authority, which nobody trusts, is not sent along).
Paths are matched by their ending, so that any base URL works:
  .../ver.dat               the file CONTROL_DIR/ver.dat (404 when missing)
  .../messages.txt?login=L&password=P&min_id=N
                            telegrams of CONTROL_DIR/telegrams.json
                            (Windows-1251 text, like all control files):
                            {"LOGIN": {"password": "P", "records": ["7\\tfrom\\ttext", ...]}}
                            The reply is a first record ("OK"), then every
                            record whose id is at least N, each ended by a
                            zero byte; an unknown login or wrong password gets
                            an empty reply. A "raw" member (latin-1 text) is
                            sent as it is instead.
  .../download/Velnor.dat   the file CONTROL_DIR/Velnor.dat
  .../NAME.crl              the revocation list CERTS_DIR/NAME.crl; recorded in
                            CONTROL_DIR/crl-requests.txt, not requests.txt
  .../network/up, .../network/down
                            (when the session names its local network in
                            KORVEL_LAN_LINK and KORVEL_LAN_GATEWAY) sets or
                            removes the default route through that gateway,
                            so that the system reports a network connection
                            or none; 200 when done, 500 otherwise. Not
                            recorded in requests.txt.
  anything else             200 with a short page (the connection check)
CONTROL_DIR/behaviour.json may hold {"chunkDelayMs": N} (send bodies in
small pieces with pauses, so that a client needs several reads; eight
pieces, or pieces of "pieceBytes" each), {"silent": true} (accept
connections and never answer), {"redirects": {"ENDING": "LOCATION", ...}}
(a request whose path ends with ENDING is answered 302 with that Location,
"{query}" in it replaced by the request's query; a Location that ends with
ENDING itself makes a loop), {"chunked": true} (bodies in the chunked
transfer coding), {"contentLength": N} (announce N bytes whatever the body
holds), {"breakAfter": N} (close the connection after N bytes of the body,
without the end of a chunked body) and {"download": {...}} (behaviour for
download/Velnor.dat alone, instead of the rest).
Every request is appended to CONTROL_DIR/requests.txt as its raw path line.
"""
import http.server
import json
import os
import socket
import ssl
import subprocess
import sys
import threading
import time
import urllib.parse

CONTROL = sys.argv[1]
lock = threading.Lock()


def read_json(name, default):
    # The control files are written by the Windows tests: Windows-1251.
    try:
        with open(os.path.join(CONTROL, name), encoding='cp1251') as f:
            return json.load(f)
    except (OSError, ValueError):
        return default


def record(name, line):
    with lock:
        with open(os.path.join(CONTROL, name), 'a', encoding='latin-1') as f:
            f.write(line + '\n')


def read_crl(name):
    certs = sys.argv[4] if len(sys.argv) > 4 else None
    if not certs:
        return None
    try:
        with open(os.path.join(certs, name), 'rb') as f:
            return f.read()
    except OSError:
        return None


def read_file(name):
    try:
        with open(os.path.join(CONTROL, name), 'rb') as f:
            return f.read()
    except OSError:
        return None


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = 'HTTP/1.1'

    def log_message(self, fmt, *args):
        pass

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        for state in ('up', 'down'):
            if url.path.endswith('network/' + state):
                return self.reply(b'ok' if set_gateway(state == 'up') else None, {}, 500)
        if url.path.endswith('.crl'):
            record('crl-requests.txt', self.path)
            return self.reply(read_crl(os.path.basename(url.path)), {})
        record('requests.txt', self.path)
        behaviour = read_json('behaviour.json', {})
        if behaviour.get('silent'):
            time.sleep(3600)
            return
        for ending, location in behaviour.get('redirects', {}).items():
            if url.path.endswith(ending):
                self.send_response(302)
                self.send_header('Location', location.replace('{query}', url.query))
                self.send_header('Content-Length', '0')
                self.end_headers()
                return
        if url.path.endswith('ver.dat'):
            body = read_file('ver.dat')
            return self.reply(body, behaviour)
        if url.path.endswith('messages.txt'):
            return self.reply(self.telegrams(url.query), behaviour)
        if url.path.endswith('download/Velnor.dat'):
            return self.reply(read_file('Velnor.dat'), behaviour.get('download', behaviour))
        return self.reply(b'<html><body>Lumetra</body></html>', behaviour)

    def telegrams(self, query):
        # The query is decoded by the percent rules, bytes kept as they are
        # (the agent sends Windows-1251).
        fields = urllib.parse.parse_qs(query, keep_blank_values=True, encoding='latin-1')
        login = fields.get('login', [''])[0].encode('latin-1').decode('cp1251')
        password = fields.get('password', [''])[0].encode('latin-1').decode('cp1251')
        try:
            min_id = int(fields.get('min_id', ['0'])[0])
        except ValueError:
            min_id = 0
        accounts = read_json('telegrams.json', {})
        account = accounts.get(login)
        if account is None or account.get('password') != password:
            return b''
        if 'raw' in account:
            return account['raw'].encode('latin-1')
        body = b'OK\0'
        for record in account.get('records', []):
            try:
                record_id = int(record.split('\t', 1)[0])
            except ValueError:
                record_id = min_id
            if record_id >= min_id:
                body += record.encode('cp1251') + b'\0'
        return body

    def reply(self, body, behaviour, missing=404):
        if body is None:
            self.send_response(missing)
            self.send_header('Content-Length', '0')
            self.end_headers()
            return
        chunked = behaviour.get('chunked', False)
        self.send_response(200)
        self.send_header('Content-Type', 'application/octet-stream')
        if chunked:
            self.send_header('Transfer-Encoding', 'chunked')
        else:
            self.send_header('Content-Length', str(behaviour.get('contentLength', len(body))))
        self.end_headers()
        cut = behaviour.get('breakAfter')
        sent = body if cut is None else body[:cut]
        delay = behaviour.get('chunkDelayMs', 0) / 1000.0
        step = behaviour.get('pieceBytes', max(1, len(body) // 8)) if delay else max(1, len(sent))
        try:
            for i in range(0, len(sent), step):
                piece = sent[i:i + step]
                self.wfile.write(b'%x\r\n%s\r\n' % (len(piece), piece) if chunked else piece)
                self.wfile.flush()
                if delay:
                    time.sleep(delay)
            if cut is not None or 'contentLength' in behaviour:
                # The body ends here, whatever was announced.
                self.close_connection = True
                self.connection.shutdown(socket.SHUT_RDWR)
            elif chunked:
                self.wfile.write(b'0\r\n\r\n')
        except OSError:
            # The client went away in the middle (it gave up or was stopped).
            self.close_connection = True


def set_gateway(up):
    link = os.environ.get('KORVEL_LAN_LINK')
    gateway = os.environ.get('KORVEL_LAN_GATEWAY')
    if not link or not gateway:
        return False
    action = 'replace' if up else 'del'
    subprocess.run(['ip', 'route', action, 'default', 'via', gateway, 'dev', link],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    routes = subprocess.run(['ip', 'route', 'show', 'default'], capture_output=True).stdout
    return (gateway.encode() in routes) == up


def main():
    address = sys.argv[2] if len(sys.argv) > 2 else '127.0.0.1'
    port = int(sys.argv[3]) if len(sys.argv) > 3 else 8080
    os.makedirs(CONTROL, exist_ok=True)
    servers = [http.server.ThreadingHTTPServer((address, port), Handler)]
    certs = sys.argv[4] if len(sys.argv) > 4 else None
    if certs:
        for offset, name in enumerate(('server', 'unknown', 'wrongname', 'expired', 'crlgone', 'untrusted'), 1):
            secure = http.server.ThreadingHTTPServer((address, port + offset), Handler)
            context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            context.load_cert_chain(os.path.join(certs, name + '.pem'), os.path.join(certs, name + '.key'))
            secure.socket = context.wrap_socket(secure.socket, server_side=True)
            servers.append(secure)
    for server in servers:
        server.daemon_threads = True
    for server in servers[1:]:
        threading.Thread(target=server.serve_forever, daemon=True).start()
    servers[0].serve_forever()


if __name__ == '__main__':
    main()
