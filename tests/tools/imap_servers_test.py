#!/usr/bin/env python3
"""The IMAP servers of the test session serve what the agent's IMAP session
needs: the scripted server (tests/support/fake_imap.py) and dovecot, over
TLS from the first byte and through STARTTLS, both with the test authority.
Runs inside the session (tools/test-wine.sh), which names the servers'
folders in the environment."""
import glob
import imaplib
import json
import os
import poplib
import re
import shutil
import socket
import ssl
import unittest

WAIT_S = 10  # a socket time-out: how long a reply may take before a failure


def unix(variable):
    value = os.environ.get(variable, '')
    return value[2:] if value[:2].upper() == 'Z:' else value


CERTS = unix('KORVEL_CERTS_DIR')
FAKE = unix('KORVEL_FAKE_IMAP_DIR')
DOVECOT = unix('KORVEL_DOVECOT_DIR')
# dovecot serves ::1 too where the loopback has it.
with open('/proc/net/if_inet6') if os.path.exists('/proc/net/if_inet6') else open(os.devnull) as inet6:
    IPV6 = any(line.startswith('0' * 31 + '1') for line in inet6)
CORPUS = sorted(glob.glob(os.path.join(unix('KORVEL_MAIL_CORPUS'), '*.eml')))


def tls_context():
    return ssl.create_default_context(cafile=os.path.join(CERTS, 'ca.pem'))


def header(path):
    with open(path, 'rb') as f:
        data = f.read()
    return data[:data.find(b'\r\n\r\n') + 4]


def fetched(data):
    """{uid: (size, header)} from the answer to a UID FETCH."""
    result = {}
    for item in data:
        if isinstance(item, tuple):
            meta, literal = item
        else:
            meta, literal = item, None
        uid = re.search(rb'UID (\d+)', meta)
        size = re.search(rb'RFC822.SIZE (\d+)', meta)
        if uid:
            result[int(uid.group(1))] = (int(size.group(1)) if size else None, literal)
    return result


@unittest.skipUnless(FAKE and CERTS, 'outside the test session')
class FakeImapTest(unittest.TestCase):
    def play(self, **scenario):
        scenario.setdefault('messages', CORPUS[:3])
        for name in ('transcript.txt', 'expunged.txt', 'seen.txt', 'arrivals.txt'):
            if os.path.exists(os.path.join(FAKE, name)):
                os.remove(os.path.join(FAKE, name))
        with open(os.path.join(FAKE, 'scenario.json'), 'w') as f:
            json.dump(scenario, f)

    def lines(self, name):
        path = os.path.join(FAKE, name)
        if not os.path.exists(path):
            return []
        with open(path) as f:
            return f.read().split()

    def connect(self, how='clear'):
        if how == 'implicit':
            m = imaplib.IMAP4_SSL('fakes.test', 993, ssl_context=tls_context(), timeout=WAIT_S)
        else:
            m = imaplib.IMAP4('fakes.test' if how == 'starttls' else '127.0.0.2', 143, timeout=WAIT_S)
            if how == 'starttls':
                m.starttls(tls_context())
        self.addCleanup(m.shutdown)
        return m

    def test_listing_and_headers_without_seen(self):
        self.play(uids=[5, 9, 10], uidValidity=42, password='pw', starttls=True, loginDisabled=True)
        for how in ('implicit', 'starttls'):
            m = self.connect(how)
            self.assertIn('IDLE', m.capabilities)
            self.assertIn('UIDPLUS', m.capabilities)
            m.login('ivan', 'pw')
            m.select('INBOX', readonly=True)
            self.assertEqual([b'42'], m.response('UIDVALIDITY')[1])
            self.assertEqual([b'5 9 10'], m.uid('SEARCH', 'ALL')[1])
            got = fetched(m.uid('FETCH', '1:*', '(UID RFC822.SIZE BODY.PEEK[HEADER])')[1])
            self.assertEqual({5, 9, 10}, set(got))
            for uid, path in zip((5, 9, 10), CORPUS):
                self.assertEqual((os.path.getsize(path), header(path)), got[uid])
            self.assertEqual([9, 10], sorted(fetched(m.uid('FETCH', '6:*', '(UID)')[1])))
        self.assertEqual([], self.lines('seen.txt'))

    def test_login_rules(self):
        self.play(password='pw', starttls=True, loginDisabled=True)
        m = self.connect()
        self.assertIn('LOGINDISABLED', m.capabilities)
        self.assertRaises(imaplib.IMAP4.error, m.login, 'ivan', 'pw')
        m = self.connect('starttls')
        self.assertNotIn('LOGINDISABLED', m.capabilities)
        self.assertRaises(imaplib.IMAP4.error, m.login, 'ivan', 'wrong')
        m.authenticate('PLAIN', lambda _: b'\0ivan\0pw')
        self.assertEqual('AUTH', m.state)
        # A password with quotes and backslashes, sent as a literal.
        self.play(password='p"w\\{3}')
        m = self.connect()
        m.literal = b'p"w\\{3}'
        self.assertEqual('OK', m._simple_command('LOGIN', 'ivan')[0])

    def test_deletion_with_and_without_uidplus(self):
        self.play(uids=[3, 4, 5])
        m = self.connect()
        m.login('ivan', 'pw')
        m.select('INBOX')
        m.uid('STORE', '4', '+FLAGS.SILENT', '(\\Deleted)')
        self.assertEqual('OK', m.uid('EXPUNGE', '4')[0])
        self.assertEqual(['4'], self.lines('expunged.txt'))
        m = self.connect()
        m.login('ivan', 'pw')
        m.select('INBOX')
        self.assertEqual([b'3 5'], m.uid('SEARCH', 'ALL')[1])

        self.play(uids=[3, 4, 5], noUidplus=True)
        m = self.connect()
        self.assertNotIn('UIDPLUS', m.capabilities)
        m.login('ivan', 'pw')
        m.select('INBOX')
        m.uid('STORE', '3,5', '+FLAGS.SILENT', '(\\Deleted)')
        self.assertRaises(imaplib.IMAP4.error, m.uid, 'EXPUNGE', '3')
        self.assertEqual([b'3', b'1'], m.expunge()[1])
        self.assertEqual(['5', '3'], self.lines('expunged.txt'))

    def idling(self, m):
        m.login('ivan', 'pw')
        m.select('INBOX', readonly=True)
        tag = m._new_tag()
        m.send(tag + b' IDLE\r\n')
        self.assertTrue(m.readline().startswith(b'+'))
        return tag

    def test_idle(self):
        self.play()
        m = self.connect('implicit')
        tag = self.idling(m)
        with open(os.path.join(FAKE, 'arrivals.txt'), 'a') as f:
            f.write(CORPUS[5] + '\n')
        self.assertEqual(b'* 4 EXISTS\r\n', m.readline())
        m.send(b'DONE\r\n')
        self.assertTrue(m.readline().startswith(tag + b' OK'))
        self.assertEqual([b'1 2 3 4'], m.uid('SEARCH', 'ALL')[1])

        self.play(noIdle=True)
        m = self.connect()
        self.assertNotIn('IDLE', m.capabilities)
        m.login('ivan', 'pw')
        m.select('INBOX', readonly=True)
        m.send(b'i1 IDLE\r\n')
        self.assertTrue(m.readline().startswith(b'i1 BAD'))

    def test_idle_ends_with_bye(self):
        self.play(idleByeMs=50)
        m = self.connect()
        self.idling(m)
        self.assertTrue(m.readline().startswith(b'* BYE'))
        self.assertEqual(b'', m.readline())

    def test_awkward_replies(self):
        # Every byte in a read of its own, untagged lines between the FETCH
        # responses, and a header of 200 kB: the client still reads them right.
        self.play(splitBytes=True, interject=['* 3 EXISTS', '* 1 FETCH (FLAGS (\\Seen))'])
        m = self.connect()
        m.login('ivan', 'pw')
        m.select('INBOX', readonly=True)
        data = m.uid('FETCH', '1:2', '(UID BODY.PEEK[HEADER])')[1]
        self.assertEqual(header(CORPUS[1]), fetched(data)[2][1])
        self.assertIn(b'1 (FLAGS (\\Seen))', data)
        self.assertIn(b'3', m.untagged_responses.get('EXISTS', []))

        self.play(hugeHeader=200000)
        m = self.connect()
        m.login('ivan', 'pw')
        m.select('INBOX', readonly=True)
        got = fetched(m.uid('FETCH', '1', '(UID RFC822.SIZE BODY.PEEK[HEADER])')[1])
        self.assertGreaterEqual(len(got[1][1]), 200000)

    def test_server_that_leaves(self):
        self.play(byeOn={'UID FETCH': 1})
        m = self.connect()
        m.login('ivan', 'pw')
        m.select('INBOX', readonly=True)
        self.assertRaises(imaplib.IMAP4.abort, m.uid, 'FETCH', '1:*', '(UID)')
        self.assertIn((b'1 (UID 1)'), m.untagged_responses.get('FETCH', []))

        self.play(silentOn='SELECT')
        m = self.connect()
        m.login('ivan', 'pw')
        m.sock.settimeout(0.5)
        self.assertRaises((socket.timeout, imaplib.IMAP4.abort), m.select, 'INBOX')

        # Another UIDVALIDITY in the next scenario: the next session sees it.
        self.play(uidValidity=7)
        m = self.connect()
        m.login('ivan', 'pw')
        m.select('INBOX', readonly=True)
        self.assertEqual([b'7'], m.response('UIDVALIDITY')[1])
        self.assertEqual([b'INBOX (UIDVALIDITY 7 UIDNEXT 4)'], m.status('INBOX', '(UIDVALIDITY UIDNEXT)')[1])


@unittest.skipUnless(DOVECOT and CERTS, 'outside the test session')
class DovecotImapTest(unittest.TestCase):
    """dovecot serves the same mails by POP3 and IMAP: the same sizes, the
    POP3 unique id made of the IMAP UID and UIDVALIDITY, nothing marked as
    read, and IDLE told of a delivery."""

    def setUp(self):
        self.user = 'imaptest%d' % os.getpid()
        home = os.path.join(DOVECOT, 'mail', self.user)
        self.maildir = os.path.join(home, 'Maildir')
        for sub in ('new', 'cur', 'tmp'):
            os.makedirs(os.path.join(self.maildir, sub))
        for n, path in enumerate(CORPUS):
            self.deliver(path, n)
        for folder, _, files in os.walk(home):
            for name in [folder] + [os.path.join(folder, f) for f in files]:
                shutil.chown(name, 'nobody', 'nogroup')
        self.addCleanup(shutil.rmtree, home)

    def deliver(self, path, n):
        name = '%d.M%dP%d.imaptest' % (1700000000 + n, n, os.getpid())
        shutil.copy(path, os.path.join(self.maildir, 'tmp', name))
        shutil.chown(os.path.join(self.maildir, 'tmp', name), 'nobody', 'nogroup')
        os.rename(os.path.join(self.maildir, 'tmp', name), os.path.join(self.maildir, 'new', name))

    def login(self, how):
        if how == 'implicit':
            m = imaplib.IMAP4_SSL('pop3.korvel.test', 993, ssl_context=tls_context(), timeout=WAIT_S)
        elif how == 'starttls':
            m = imaplib.IMAP4('pop3.korvel.test', 143, timeout=WAIT_S)
            self.assertIn('LOGINDISABLED', m.capabilities)  # no password in the clear there
            m.starttls(tls_context())
        else:
            m = imaplib.IMAP4(how, 143, timeout=WAIT_S)
            self.assertNotIn('STARTTLS', m.capabilities)
        self.addCleanup(m.shutdown)
        m.login(self.user, 'pw-' + self.user)
        return m

    def test_same_mails_as_pop3_and_none_seen(self):
        p = poplib.POP3('127.0.0.1', 110, timeout=WAIT_S)
        p.user(self.user)
        p.pass_('pw-' + self.user)
        sizes = [int(line.split()[1]) for line in p.list()[1]]
        uidls = [line.split()[1].decode() for line in p.uidl()[1]]
        for n in range(len(sizes)):
            p.top(n + 1, 0)
        p.quit()
        for how in ('implicit', 'starttls', '127.0.0.1') + (('::1',) if IPV6 else ()):
            m = self.login(how)
            m.select('INBOX', readonly=True)
            validity = int(m.response('UIDVALIDITY')[1][0])
            got = fetched(m.uid('FETCH', '1:*', '(UID RFC822.SIZE BODY.PEEK[HEADER])')[1])
            uids = sorted(got)
            self.assertEqual(sizes, [got[u][0] for u in uids], how)
            self.assertEqual(uidls, ['%08x%08x' % (u, validity) for u in uids], how)
            self.assertEqual([header(p) for p in CORPUS], [got[u][1] for u in uids], how)
        flags = self.login('127.0.0.1')
        flags.select('INBOX', readonly=True)
        self.assertNotIn(b'Seen', b' '.join(flags.uid('FETCH', '1:*', '(FLAGS)')[1]))

    def tagged(self, m, tag):
        while True:
            line = m.readline()
            if not line or line.startswith(tag):
                return line

    def test_idle_and_deletion(self):
        m = self.login('implicit')
        m.select('INBOX')
        tag = m._new_tag()
        m.send(tag + b' IDLE\r\n')
        self.assertTrue(m.readline().startswith(b'+'))
        self.deliver(CORPUS[0], len(CORPUS))
        self.assertEqual(b'* %d EXISTS\r\n' % (len(CORPUS) + 1), m.readline())
        m.send(b'DONE\r\n')
        self.assertTrue(self.tagged(m, tag).startswith(tag + b' OK'))
        self.assertIn(b'UIDPLUS', m.capability()[1][0].split())
        m.uid('STORE', '2', '+FLAGS.SILENT', '(\\Deleted)')
        self.assertEqual('OK', m.uid('EXPUNGE', '2')[0])
        self.assertEqual([b' '.join(str(u).encode() for u in range(1, len(CORPUS) + 2) if u != 2)],
                         m.uid('SEARCH', 'ALL')[1])


if __name__ == '__main__':
    unittest.main()
