#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""An XMPP server for one account that misbehaves on purpose, the way real servers and
networks do, to test a client against it. It speaks enough of XMPP for a real client to
sign in (STARTTLS, SASL SCRAM-SHA-1/256/512, resource binding) and keeps the account's
avatar and vCard in memory; what it does wrong is chosen with --behaviour:

  normal                  nothing: a well-behaved server
  silent                  accepts the TCP connection and never sends a byte
  stall-after-proceed     answers STARTTLS with <proceed/>, then sends nothing
  refuse-sha512-then-drop refuses SCRAM-SHA-512, accepts SCRAM-SHA-256, and drops every
                          stream a second after it is signed in
  silent-after-signin     goes quiet once the client is signed in: reads, never answers
  ping-flood              once signed in, stops reading and sends pings as fast as it can
  spoof-replies           answers each request first with stanzas of the same id that are
                          not the reply (a message, a request, a result from another
                          address, all saying "done"), then with the real reply; a publish
                          is really refused (forbidden)

--original FILE gives the account an avatar (served as XEP-0084 data) before the client
comes; --declare-bytes N makes its metadata claim N bytes; --rate B serves its data at B
bytes per second; --corrupt serves data that does not match the id it is published under;
--resource R binds the client to R (which may hold anything, a line break included).

It prints one JSON line per event on stdout: {"event": "listening", "port": N}, then
"connected", "signed-in" (with "n", the connection's number, and "jid"), "request" (each
stanza the client sends once signed in: "kind", "id", "child"), "data-requested",
"closed" ...

usage: hostile_server.py --cert CRT --key KEY --domain D --user U --password P
                         --behaviour NAME [--original FILE] [--declare-bytes N] [--rate B]
                         [--corrupt] [--resource R]
"""
import argparse
import asyncio
import base64
import hashlib
import hmac
import json
import logging
import os
import ssl
import sys
import xml.etree.ElementTree as ET
from xml.sax.saxutils import escape, quoteattr

STREAM = 'http://etherx.jabber.org/streams'
CLIENT = 'jabber:client'
TLS = 'urn:ietf:params:xml:ns:xmpp-tls'
SASL = 'urn:ietf:params:xml:ns:xmpp-sasl'
BIND = 'urn:ietf:params:xml:ns:xmpp-bind'
PUBSUB = 'http://jabber.org/protocol/pubsub'
DISCO = 'http://jabber.org/protocol/disco#info'
DATA = 'urn:xmpp:avatar:data'
METADATA = 'urn:xmpp:avatar:metadata'
VCARD = 'vcard-temp'
PING = 'urn:xmpp:ping'
HASHES = {'SCRAM-SHA-1': 'sha1', 'SCRAM-SHA-256': 'sha256', 'SCRAM-SHA-512': 'sha512'}


def say(**fields):
    sys.stdout.write(json.dumps(fields) + '\n')
    sys.stdout.flush()


class StreamClosed(Exception):
    pass


class Account:
    """What the server keeps for the one account: avatar nodes and vCard."""

    def __init__(self, original, declared, rate, corrupt):
        self.items = {DATA: {}, METADATA: {}}
        self.latest = {DATA: None, METADATA: None}
        self.vcard = None
        self.rate = rate
        if original is not None:
            digest = hashlib.sha1(original).hexdigest()
            size = declared if declared is not None else len(original)
            served = bytes([original[0] ^ 0xff]) + original[1:] if corrupt else original
            self.items[DATA][digest] = '<data xmlns="%s">%s</data>' % (DATA, base64.b64encode(served).decode())
            self.items[METADATA][digest] = ('<metadata xmlns="%s"><info id="%s" bytes="%d" type="image/png"/>'
                                            '</metadata>' % (METADATA, digest, size))
            self.latest = {DATA: digest, METADATA: digest}


class Session:
    def __init__(self, server, reader, writer, number):
        self.server = server
        self.reader = reader
        self.writer = writer
        self.number = number
        self.behaviour = server.args.behaviour
        self.parser = None
        self.depth = 0
        self.pending = []
        self.jid = '%s@%s' % (server.args.user, server.args.domain)

    # --- the stream ------------------------------------------------------------------------
    def restart(self):
        self.parser = ET.XMLPullParser(events=('start', 'end'))
        self.depth = 0

    async def next_element(self):
        """The next top-level element of the stream, the stream header counting as one."""
        while True:
            while self.pending:
                return self.pending.pop(0)
            data = await self.reader.read(65536)
            if not data:
                raise StreamClosed()
            self.parser.feed(data)
            for event, element in self.parser.read_events():
                if event == 'start':
                    self.depth += 1
                    if self.depth == 1:
                        self.pending.append(element)
                elif event == 'end':
                    self.depth -= 1
                    if self.depth == 0:
                        raise StreamClosed()
                    if self.depth == 1:
                        self.pending.append(element)

    async def send(self, text):
        self.writer.write(text.encode())
        await self.writer.drain()

    async def open_stream(self, features):
        self.restart()
        header = await self.next_element()
        if header.tag != '{%s}stream' % STREAM:
            raise StreamClosed()
        await self.send("<?xml version='1.0'?><stream:stream xmlns='%s' xmlns:stream='%s' id='s%d' from='%s' "
                        "version='1.0'><stream:features>%s</stream:features>"
                        % (CLIENT, STREAM, self.number, self.server.args.domain, features))

    # --- signing in ------------------------------------------------------------------------
    async def run(self):
        say(event='connected', n=self.number)
        if self.behaviour == 'silent':
            while await self.reader.read(65536):
                pass
            return
        await self.open_stream("<starttls xmlns='%s'><required/></starttls>" % TLS)
        element = await self.next_element()
        if element.tag != '{%s}starttls' % TLS:
            return
        await self.send("<proceed xmlns='%s'/>" % TLS)
        if self.behaviour == 'stall-after-proceed':
            say(event='stalled', n=self.number)
            await asyncio.sleep(3600)
            return
        await self.writer.start_tls(self.server.tls)
        offered = ['SCRAM-SHA-1', 'SCRAM-SHA-256']
        if self.behaviour == 'refuse-sha512-then-drop':
            offered.append('SCRAM-SHA-512')
        await self.open_stream("<mechanisms xmlns='%s'>%s</mechanisms>"
                               % (SASL, ''.join('<mechanism>%s</mechanism>' % m for m in offered)))
        while True:
            element = await self.next_element()
            if element.tag != '{%s}auth' % SASL:
                return
            mechanism = element.get('mechanism')
            if await self.scram(mechanism, element.text or ''):
                break
        await self.open_stream("<bind xmlns='%s'/>" % BIND)
        element = await self.next_element()
        resource = self.server.args.resource or 'hostile-%d' % self.number
        await self.send("<iq type='result' id=%s><bind xmlns='%s'><jid>%s/%s</jid></bind></iq>"
                        % (quoteattr(element.get('id', '')), BIND, self.jid, escape(resource)))
        say(event='signed-in', n=self.number, jid='%s/%s' % (self.jid, resource))
        await self.signed_in()

    async def scram(self, mechanism, initial):
        """One SASL exchange; True when the client is signed in."""
        name = HASHES.get(mechanism)
        refused = mechanism == 'SCRAM-SHA-512' and self.behaviour == 'refuse-sha512-then-drop'
        if name is None or refused:
            say(event='auth', n=self.number, mechanism=mechanism, ok=False)
            await self.send("<failure xmlns='%s'><not-authorized/></failure>" % SASL)
            return False
        client_first = base64.b64decode(initial).decode()
        bare = client_first.split(',', 2)[2]
        nonce = dict(p.split('=', 1) for p in bare.split(','))['r'] + base64.b64encode(os.urandom(12)).decode()
        salt = os.urandom(16)
        server_first = 'r=%s,s=%s,i=4096' % (nonce, base64.b64encode(salt).decode())
        await self.send("<challenge xmlns='%s'>%s</challenge>" % (SASL, base64.b64encode(server_first.encode()).decode()))
        response = await self.next_element()
        client_final = base64.b64decode(response.text or '').decode()
        without_proof, proof = client_final.rsplit(',p=', 1)
        salted = hashlib.pbkdf2_hmac(name, self.server.args.password.encode(), salt, 4096)
        client_key = hmac.new(salted, b'Client Key', name).digest()
        stored_key = hashlib.new(name, client_key).digest()
        message = ','.join((bare, server_first, without_proof)).encode()
        signature = hmac.new(stored_key, message, name).digest()
        given = bytes(a ^ b for a, b in zip(base64.b64decode(proof), signature))
        if hashlib.new(name, given).digest() != stored_key:
            say(event='auth', n=self.number, mechanism=mechanism, ok=False)
            await self.send("<failure xmlns='%s'><not-authorized/></failure>" % SASL)
            return False
        server_key = hmac.new(salted, b'Server Key', name).digest()
        verifier = 'v=' + base64.b64encode(hmac.new(server_key, message, name).digest()).decode()
        await self.send("<success xmlns='%s'>%s</success>" % (SASL, base64.b64encode(verifier.encode()).decode()))
        say(event='auth', n=self.number, mechanism=mechanism, ok=True)
        return True

    # --- signed in -------------------------------------------------------------------------
    async def signed_in(self):
        if self.behaviour == 'refuse-sha512-then-drop':
            asyncio.get_event_loop().call_later(1, self.writer.transport.abort)
        if self.behaviour == 'ping-flood':
            await self.flood()
            return
        while True:
            element = await self.next_element()
            child = element[0] if len(element) else None
            say(event='request', n=self.number, kind=element.tag.split('}')[-1], type=element.get('type'),
                id=element.get('id'), child=child.tag if child is not None else None)
            if self.behaviour == 'silent-after-signin':
                continue
            if element.tag == '{%s}iq' % CLIENT and element.get('type') in ('get', 'set'):
                await self.answer(element)

    async def flood(self):
        # Nothing more is read: once the reader's buffer is full the transport stops reading,
        # and what the client sends piles up on its side.
        count = 0
        while True:
            self.writer.write(("<iq type='get' id='flood%d' from='%s' to='%s/hostile-%d'><ping xmlns='%s'/></iq>"
                               % (count, self.server.args.domain, self.jid, self.number, PING)).encode())
            count += 1
            if count % 100 == 0:
                await self.writer.drain()  # raises once the client is gone
                await asyncio.sleep(0)  # other connections go on meanwhile
                if count % 100000 == 0:
                    say(event='pings', n=self.number, count=count)

    async def answer(self, iq):
        ident = iq.get('id', '')
        child = iq[0] if len(iq) else None
        if self.behaviour == 'spoof-replies':
            done = "<query xmlns='%s'><feature var='urn:xmpp:pep-vcard-conversion:0'/></query>" % DISCO
            for fake in ("<message id=%s><body>done</body></message>",
                         "<iq type='set' id=%s><query xmlns='" + DISCO + "'/></iq>",
                         "<iq type='result' id=%s from='mallory@evil.example'>" + done + "</iq>"):
                await self.send(fake % quoteattr(ident))
            await asyncio.sleep(0.05)
        reply = await self.reply_to(iq, child)
        await self.send(reply)

    def result(self, iq, payload=''):
        to = iq.get('to')
        sender = ' from=%s' % quoteattr(to) if to else ''
        return "<iq type='result' id=%s%s>%s</iq>" % (quoteattr(iq.get('id', '')), sender, payload)

    def error(self, iq, condition, kind='cancel'):
        to = iq.get('to')
        sender = ' from=%s' % quoteattr(to) if to else ''
        return ("<iq type='error' id=%s%s><error type='%s'><%s xmlns='urn:ietf:params:xml:ns:xmpp-stanzas'/>"
                "</error></iq>" % (quoteattr(iq.get('id', '')), sender, kind, condition))

    async def reply_to(self, iq, child):
        account = self.server.account
        if child is None:
            return self.error(iq, 'bad-request', 'modify')
        if child.tag == '{%s}ping' % PING:
            return self.result(iq)
        if child.tag == '{%s}query' % DISCO:
            return self.result(iq, "<query xmlns='%s'><feature var='%s'/></query>" % (DISCO, PUBSUB))
        if child.tag == '{%s}vCard' % VCARD:
            if iq.get('type') == 'set':
                account.vcard = ET.tostring(child, encoding='unicode')
                return self.result(iq)
            return self.result(iq, account.vcard) if account.vcard else self.error(iq, 'item-not-found')
        if child.tag == '{%s}pubsub' % PUBSUB:
            publish = child.find('{%s}publish' % PUBSUB)
            if publish is not None:
                if self.behaviour == 'spoof-replies':
                    return self.error(iq, 'forbidden', 'auth')
                node = publish.get('node')
                item = publish.find('{%s}item' % PUBSUB)
                payload = ''.join(ET.tostring(c, encoding='unicode') for c in item) if item is not None else ''
                item_id = item.get('id') if item is not None and item.get('id') else 'current'
                account.items.setdefault(node, {})[item_id] = payload
                account.latest[node] = item_id
                return self.result(iq)
            items = child.find('{%s}items' % PUBSUB)
            node = items.get('node') if items is not None else None
            if node not in account.items or account.latest.get(node) is None:
                return self.error(iq, 'item-not-found')
            wanted = items.find('{%s}item' % PUBSUB)
            item_id = wanted.get('id') if wanted is not None else account.latest[node]
            payload = account.items[node].get(item_id)
            if payload is None:
                return self.error(iq, 'item-not-found')
            reply = self.result(iq, "<pubsub xmlns='%s'><items node=%s><item id=%s>%s</item></items></pubsub>"
                                % (PUBSUB, quoteattr(node), quoteattr(item_id), payload))
            if node == DATA:
                say(event='data-requested', n=self.number, bytes=len(reply))
                if account.rate:
                    await self.trickle(reply.encode(), account.rate)
                    return ''
            return reply
        return self.error(iq, 'service-unavailable')

    async def trickle(self, data, rate):
        step = max(1, rate // 10)
        for start in range(0, len(data), step):
            self.writer.write(data[start:start + step])
            await self.writer.drain()
            await asyncio.sleep(0.1)


class Server:
    def __init__(self, args):
        self.args = args
        self.tls = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        self.tls.load_cert_chain(args.cert, args.key)
        original = None
        if args.original:
            with open(args.original, 'rb') as f:
                original = f.read()
        self.account = Account(original, args.declare_bytes, args.rate, args.corrupt)
        self.connections = 0

    async def handle(self, reader, writer):
        self.connections += 1
        number = self.connections
        try:
            await Session(self, reader, writer, number).run()
        except (StreamClosed, ConnectionError, ssl.SSLError, ET.ParseError, asyncio.IncompleteReadError):
            pass
        finally:
            say(event='closed', n=number)
            writer.transport.abort()


async def main():
    parser = argparse.ArgumentParser()
    for option in ('--cert', '--key', '--domain', '--user', '--password', '--behaviour'):
        parser.add_argument(option, required=True)
    parser.add_argument('--original')
    parser.add_argument('--declare-bytes', type=int)
    parser.add_argument('--rate', type=int)
    parser.add_argument('--corrupt', action='store_true')
    parser.add_argument('--resource')
    args = parser.parse_args()
    server = Server(args)
    listener = await asyncio.start_server(server.handle, '127.0.0.1', 0)
    say(event='listening', port=listener.sockets[0].getsockname()[1])
    async with listener:
        await listener.serve_forever()


if __name__ == '__main__':
    logging.getLogger('asyncio').setLevel(logging.CRITICAL)
    try:
        asyncio.run(main())
    except KeyboardInterrupt:
        pass
