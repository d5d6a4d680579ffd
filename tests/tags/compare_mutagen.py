#!/usr/bin/env python3
"""Reads every fixture with our tag readers (tag_dump) and with mutagen and
compares the fields. Usage: compare_mutagen.py TAG_DUMP FIXTURE_DIR

Where our readers differ from mutagen on purpose, the comparison applies our
rule to mutagen's result first:
- ISO-8859-1 text (ID3v1, Lyrics3, ID3v2 encoding 0) is, in our users' files,
  GBK: mutagen's Latin-1 text is taken back to bytes and decoded by the one
  rule (UTF-8 when valid, else GBK, else Latin-1).
- ID3v2 text is trimmed of leading and trailing spaces and control characters.
- A genre "(n)Words" keeps "Words", a lone "(n)" gives no genre and a number
  stays a number (mutagen maps numbers to names).
- The title, artist and album fall back to TIT1, TOPE and TOAL.
- APE values keep their first 250 bytes (cut before a UTF-8 character).
- Lyrics3 v2 (which mutagen does not read) replaces the ID3v1 fields it
  carries, so ID3v1 text is not compared on files with a Lyrics3 block.
- mutagen reads byte 126 of every ID3v1 tag as a track number and the
  comment as 29 bytes; an ID3v1.0 tag (byte 125 not zero) has a 30-byte
  comment and no track, so those two are not compared there.
"""
import json
import os
import subprocess
import sys

from mutagen.apev2 import APEv2, error as APEError
from mutagen.id3 import ID3, ID3NoHeaderError, Encoding
from mutagen.id3._id3v1 import ParseID3v1

failures = []


def one_rule(text):
    raw = text.encode('latin-1')
    for codec in ('utf-8', 'gbk'):
        try:
            return raw.decode(codec)
        except UnicodeDecodeError:
            pass
    return text


def frame_text(frame):
    if frame is None or not frame.text:
        return ''
    text = str(frame.text[0])
    if frame.encoding == Encoding.LATIN1:
        text = one_rule(text)
    return text.strip(''.join(chr(c) for c in range(33)))


def check(name, field, ours, theirs):
    if ours != theirs:
        failures.append('%s %s: ours %r, mutagen %r' % (name, field, ours, theirs))


def track_number(text):
    head = text.split('/')[0].strip()
    return int(head) if head.isdigit() and int(head) < 32768 else 0


def compare_id3v2(name, path, ours):
    try:
        tags = ID3(path, load_v1=False)
    except ID3NoHeaderError:
        check(name, 'id3v2.exists', ours['exists'], 0)
        return
    check(name, 'id3v2.exists', ours['exists'], 1)
    check(name, 'id3v2.version', ours['version'], tags.version[1])
    get = lambda fid: frame_text(tags.get(fid))
    check(name, 'title', ours['title'], get('TIT2') or get('TIT1'))
    check(name, 'artist', ours['artist'], get('TPE1') or get('TOPE'))
    check(name, 'album', ours['album'], get('TALB') or get('TOAL'))
    check(name, 'composer', ours['composer'], get('TCOM'))
    check(name, 'trackText', ours['trackText'], get('TRCK'))
    check(name, 'track', ours['track'], track_number(get('TRCK')))
    check(name, 'year', ours['year'], get('TDRC')[:4])
    genre = get('TCON')
    check(name, 'genre', ours['genre'], genre[genre.rfind(')') + 1:])
    comments = tags.getall('COMM')
    check(name, 'comment', ours['comment'], frame_text(comments[-1]) if comments else '')


def compare_id3v1(name, path, ours):
    with open(path, 'rb') as f:
        f.seek(-128, os.SEEK_END)
        frames = ParseID3v1(f.read(128))
    check(name, 'id3v1.exists', ours['exists'], int(frames is not None))
    if frames is None or ours['lyrics3']:
        return
    get = lambda fid: frame_text(frames.get(fid))
    check(name, 'v1.title', ours['title'], get('TIT2'))
    check(name, 'v1.artist', ours['artist'], get('TPE1'))
    check(name, 'v1.album', ours['album'], get('TALB'))
    check(name, 'v1.year', ours['year'], get('TDRC'))
    if ours['version'] == 2:
        check(name, 'v1.comment', ours['comment'], get('COMM'))
        check(name, 'v1.track', ours['track'], int(get('TRCK') or 0))
    check(name, 'v1.genre', ours['genreID'], int(get('TCON') or 255))


def compare_ape(name, path, ours):
    try:
        tags = APEv2(path)
    except APEError:
        check(name, 'ape.exists', ours['exists'], 0)
        return
    check(name, 'ape.exists', ours['exists'], 1)
    theirs = []
    for key, value in tags.items():
        raw = str(value).encode('utf-8') if hasattr(value, 'encode') or isinstance(value, str) else bytes(value)
        if len(raw) > 250:
            raw = raw[:250]
            while raw and (raw[-1] & 0xC0) == 0x80:
                raw = raw[:-1]
            raw = raw[:-1] if raw and raw[-1] >= 0xC0 else raw
        theirs.append([key, raw.decode('utf-8', 'replace').strip()])
    check(name, 'ape.items', ours['items'], theirs)


def main():
    dump, folder = sys.argv[1], sys.argv[2]
    files = sorted(os.path.join(folder, f) for f in os.listdir(folder) if f.endswith('.mp3'))
    out = subprocess.run([dump] + files, check=True, capture_output=True, text=True).stdout
    for line in out.splitlines():
        ours = json.loads(line)
        name = os.path.basename(ours['file'])
        compare_id3v2(name, ours['file'], ours['id3v2'])
        compare_id3v1(name, ours['file'], ours['id3v1'])
        compare_ape(name, ours['file'], ours['ape'])
    for f in failures:
        print('DIFF', f)
    print('%d files compared, %d differences' % (len(files), len(failures)))
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
