#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Watches an XMPP account's avatar the way its contacts and its other clients do, with a
client that is not ours (slixmpp): signed in as a contact and as a second resource of the
account, both online and interested in XEP-0084 metadata. Every metadata notification is
followed by a fetch of the data it names, and printed as one JSON line on stdout:

  {"event": "avatar", "as": "bob", "id": ..., "sha1": ..., "bytes": ..., "width": ..., ...}

preceded by {"event": "notify", "as": ..., "id": ...} as soon as the notification arrives.

Commands, one JSON object per line on stdin, each answered by one line:
  {"cmd": "vcard", "as": "bob"}          the account's vCard: FN, NICKNAME, the NOTE's length,
                                         the PHOTO's SHA-1 and TYPE
  {"cmd": "set_vcard", "fn": ..., "nickname": ..., ["note": ...,] ["photo_base64": ...,
   "photo_type": ...]}                   writes the account's vCard (as itself)
  {"cmd": "publish", "png_base64": ...}  publishes an avatar (as itself); or "data_base64" with
                                         "type" for another format
  {"cmd": "clear_avatar"}                deletes the account's avatar nodes (as itself)
  {"cmd": "current", "as": "bob"}        the account's current metadata
  {"cmd": "spray", "to": FULL_JID, "count": N}
                                         sends N results and N errors with ids tilecast-1 ...,
                                         and N requests, to another client of the account

usage: xmpp_observer.py HOST PORT CA_FILE ACCOUNT PASSWORD CONTACT CONTACT_PASSWORD
"""
import asyncio
import base64
import hashlib
import json
import logging
import struct
import sys
import xml.etree.ElementTree as ET

import slixmpp

DATA = 'urn:xmpp:avatar:data'
METADATA = 'urn:xmpp:avatar:metadata'
PUBSUB = 'http://jabber.org/protocol/pubsub'
VCARD = 'vcard-temp'


def say(**fields):
    sys.stdout.write(json.dumps(fields) + '\n')
    sys.stdout.flush()


def png_size(data):
    if len(data) < 24 or data[:8] != b'\x89PNG\r\n\x1a\n':
        return None
    return struct.unpack('>II', data[16:24])


class Watcher(slixmpp.ClientXMPP):
    def __init__(self, name, jid, password, account, ca_file):
        super().__init__(jid, password)
        self.name = name
        self.account = account
        self.ca_certs = ca_file
        self.ready = asyncio.get_event_loop().create_future()
        for plugin in ('xep_0030', 'xep_0060', 'xep_0115', 'xep_0163', 'xep_0084', 'xep_0054'):
            self.register_plugin(plugin)
        self.add_event_handler('session_start', self.start)
        # The test stops the server on purpose; like any client, come back when it does.
        self.add_event_handler('disconnected', self.on_disconnected)
        self.address = None
        self.add_event_handler('avatar_metadata_publish', self.on_metadata)
        self.add_event_handler('failed_auth', lambda *_: say(event='error', **{'as': name}, why='auth'))

    async def start(self, _):
        await self.get_roster()
        self.send_presence()
        if not self.ready.done():
            self.ready.set_result(True)

    def connect_to(self, address):
        self.address = address
        self.connect(address=address)

    def on_disconnected(self, _):
        asyncio.get_event_loop().call_later(1, self.connect, self.address)

    async def iq(self, kind, payload, to=None):
        iq = self.Iq()
        iq['type'] = kind
        if to:
            iq['to'] = to
        iq.xml.append(payload)
        return await iq.send(timeout=5)

    async def fetch_data(self, item_id):
        pubsub = ET.Element('{%s}pubsub' % PUBSUB)
        items = ET.SubElement(pubsub, '{%s}items' % PUBSUB, node=DATA)
        ET.SubElement(items, '{%s}item' % PUBSUB, id=item_id)
        result = await self.iq('get', pubsub, to=self.account)
        data = result.xml.find('.//{%s}data' % DATA)
        return base64.b64decode(data.text or '') if data is not None else b''

    def on_metadata(self, msg):
        if msg['from'].bare != self.account:
            return
        item = msg.xml.find('.//{http://jabber.org/protocol/pubsub#event}item')
        info = item.find('{%s}metadata/{%s}info' % (METADATA, METADATA)) if item is not None else None
        # At once, before the fetch: for timing the notification itself.
        say(event='notify', **{'as': self.name}, id=info.get('id') if info is not None else '')
        if info is None:
            say(event='avatar', **{'as': self.name}, id='')
            return
        asyncio.ensure_future(self.report(info.attrib))

    async def report(self, info):
        fields = {'as': self.name, 'id': info.get('id'), 'type': info.get('type'),
                  'meta_bytes': int(info.get('bytes', -1)),
                  'meta_width': int(info.get('width', -1)), 'meta_height': int(info.get('height', -1))}
        try:
            data = await self.fetch_data(info.get('id'))
        except Exception as error:  # the next slide may already have replaced it
            say(event='avatar', **fields, sha1='', error=str(error))
            return
        size = png_size(data) or (-1, -1)
        say(event='avatar', **fields, sha1=hashlib.sha1(data).hexdigest(), bytes=len(data),
            width=size[0], height=size[1], png=data[:8] == b'\x89PNG\r\n\x1a\n')

    async def vcard(self):
        result = await self.iq('get', ET.Element('{%s}vCard' % VCARD), to=self.account)
        card = result.xml.find('{%s}vCard' % VCARD)
        fields = {}
        for name in ('FN', 'NICKNAME'):
            element = card.find('{%s}%s' % (VCARD, name)) if card is not None else None
            fields[name] = element.text if element is not None else None
        binval = card.find('{%s}PHOTO/{%s}BINVAL' % (VCARD, VCARD)) if card is not None else None
        photo = base64.b64decode(binval.text) if binval is not None and binval.text else b''
        fields['photo_sha1'] = hashlib.sha1(photo).hexdigest() if photo else ''
        kind = card.find('{%s}PHOTO/{%s}TYPE' % (VCARD, VCARD)) if card is not None else None
        fields['photo_type'] = kind.text if kind is not None else None
        note = card.find('{%s}NOTE' % VCARD) if card is not None else None
        fields['note_length'] = len(note.text or '') if note is not None else -1
        return fields

    async def set_vcard(self, fn, nickname, note=None, photo=None, photo_type=None):
        card = ET.Element('{%s}vCard' % VCARD)
        ET.SubElement(card, '{%s}FN' % VCARD).text = fn
        ET.SubElement(card, '{%s}NICKNAME' % VCARD).text = nickname
        if note is not None:
            ET.SubElement(card, '{%s}NOTE' % VCARD).text = note
        if photo is not None:
            element = ET.SubElement(card, '{%s}PHOTO' % VCARD)
            ET.SubElement(element, '{%s}TYPE' % VCARD).text = photo_type
            ET.SubElement(element, '{%s}BINVAL' % VCARD).text = base64.b64encode(photo).decode()
        await self.iq('set', card)

    async def clear_avatar(self):
        for node in (METADATA, DATA):
            pubsub = ET.Element('{%s#owner}pubsub' % PUBSUB)
            ET.SubElement(pubsub, '{%s#owner}delete' % PUBSUB, node=node)
            try:
                await self.iq('set', pubsub)
            except slixmpp.exceptions.IqError:
                pass  # never there

    def spray(self, to, count):
        for number in range(1, count + 1):
            ident = 'tilecast-%d' % number
            for kind in ('result', 'error'):
                iq = self.Iq()
                iq['type'] = kind
                iq['to'] = to
                iq['id'] = ident
                iq.send()
            request = self.Iq()
            request['type'] = 'get'
            request['to'] = to
            request['id'] = ident
            request.xml.append(ET.Element('{http://jabber.org/protocol/disco#info}query'))
            request.send()

    async def publish(self, png, kind='image/png'):
        digest = hashlib.sha1(png).hexdigest()
        for node, payload in ((DATA, None), (METADATA, None)):
            pubsub = ET.Element('{%s}pubsub' % PUBSUB)
            publish = ET.SubElement(pubsub, '{%s}publish' % PUBSUB, node=node)
            item = ET.SubElement(publish, '{%s}item' % PUBSUB, id=digest)
            if node == DATA:
                ET.SubElement(item, '{%s}data' % DATA).text = base64.b64encode(png).decode()
            else:
                meta = ET.SubElement(item, '{%s}metadata' % METADATA)
                size = png_size(png)
                attributes = {'id': digest, 'bytes': str(len(png)), 'type': kind}
                if size:
                    attributes.update(width=str(size[0]), height=str(size[1]))
                ET.SubElement(meta, '{%s}info' % METADATA, attributes)
            await self.iq('set', pubsub)
        return digest

    async def current(self):
        pubsub = ET.Element('{%s}pubsub' % PUBSUB)
        ET.SubElement(pubsub, '{%s}items' % PUBSUB, node=METADATA, max_items='1')
        try:
            result = await self.iq('get', pubsub, to=self.account)
        except slixmpp.exceptions.IqError:
            return ''
        info = result.xml.find('.//{%s}info' % METADATA)
        return info.get('id') if info is not None else ''


async def main():
    host, port, ca_file, account, password, contact, contact_password = sys.argv[1:8]
    watchers = {
        'bob': Watcher('bob', contact, contact_password, account, ca_file),
        'alice': Watcher('alice', account + '/observer', password, account, ca_file),
    }
    for watcher in watchers.values():
        watcher.connect_to((host, int(port)))
    await asyncio.wait_for(asyncio.gather(*(w.ready for w in watchers.values())), 20)
    say(event='ready')

    reader = asyncio.StreamReader(limit=16 * 1024 * 1024)  # commands carry whole pictures
    await asyncio.get_event_loop().connect_read_pipe(lambda: asyncio.StreamReaderProtocol(reader), sys.stdin)
    while True:
        line = await reader.readline()
        if not line:
            break
        command = json.loads(line)
        watcher = watchers[command.get('as', 'alice')]
        try:
            if command['cmd'] == 'vcard':
                say(event='vcard', **(await watcher.vcard()))
            elif command['cmd'] == 'set_vcard':
                photo = command.get('photo_base64')
                await watcher.set_vcard(command['fn'], command['nickname'], command.get('note'),
                                        base64.b64decode(photo) if photo else None, command.get('photo_type'))
                say(event='done', cmd='set_vcard')
            elif command['cmd'] == 'publish':
                if 'png_base64' in command:
                    digest = await watcher.publish(base64.b64decode(command['png_base64']))
                else:
                    digest = await watcher.publish(base64.b64decode(command['data_base64']), command['type'])
                say(event='done', cmd='publish', id=digest)
            elif command['cmd'] == 'clear_avatar':
                await watcher.clear_avatar()
                say(event='done', cmd='clear_avatar')
            elif command['cmd'] == 'spray':
                watcher.spray(command['to'], command['count'])
                say(event='done', cmd='spray')
            elif command['cmd'] == 'current':
                say(event='current', id=await watcher.current())
        except Exception as error:
            say(event='error', cmd=command['cmd'], why=str(error))
    for watcher in watchers.values():
        watcher.disconnect()


if __name__ == '__main__':
    logging.basicConfig(level=logging.ERROR, stream=sys.stderr)
    asyncio.get_event_loop().run_until_complete(main())
