#!/usr/bin/env python3
"""quillet-probe end to end: runs the tool on fixture files and parses its output.

    probe_test.py PATH/TO/quillet-probe FIXTURES_DIR
"""
import json
import os
import subprocess
import sys
import tempfile
import unittest

PROBE = None
FIXTURES = None

KEYS = ["path", "ok", "FileName", "FileSize", "SampleRate", "BitRate", "BitsPerSample",
        "Duration", "Channels", "Format", "Title", "Artist", "Album", "Year", "Genre",
        "GenreID", "Track", "Comment", "path_bytes"]
NUMBERS = {"FileSize", "SampleRate", "BitRate", "BitsPerSample", "Duration", "Channels",
           "Format", "GenreID", "Track"}
STRINGS = {"path", "FileName", "Title", "Artist", "Album", "Year", "Genre", "Comment", "path_bytes"}


def run_probe(*args):
    """Runs the tool; returns (exit code, parsed objects, stderr text)."""
    proc = subprocess.run([PROBE, *args], capture_output=True, timeout=120)
    text = proc.stdout.decode("utf-8", errors="strict")  # must be valid UTF-8
    objects = []
    for line in text.splitlines():
        pairs = json.loads(line, object_pairs_hook=lambda p: p)
        objects.append(pairs)
    return proc.returncode, objects, proc.stderr.decode("utf-8", errors="replace")


def fixture(*parts):
    return os.path.join(FIXTURES, *parts)


class ProbeOutput(unittest.TestCase):
    def check_shape(self, pairs):
        self.assertEqual([k for k, _ in pairs], KEYS)
        obj = dict(pairs)
        self.assertIsInstance(obj["ok"], bool)
        for k in NUMBERS:
            self.assertIsInstance(obj[k], int, k)
            self.assertNotIsInstance(obj[k], bool, k)
            self.assertGreaterEqual(obj[k], 0, k)
        for k in STRINGS:
            self.assertIsInstance(obj[k], str, k)
        return obj

    def probe_one(self, path):
        code, objects, err = run_probe(path)
        self.assertEqual(code, 0, err)
        self.assertEqual(len(objects), 1)
        obj = self.check_shape(objects[0])
        self.assertEqual(obj["path"], path)
        self.assertEqual(bytes.fromhex(obj["path_bytes"]), os.fsencode(path))
        return obj

    def test_one_line_per_argument_in_order_with_exactly_the_keys(self):
        paths = [fixture("audio", "tone-1k-stereo.wav"), fixture("engine", "missing.mp3"),
                 fixture("audio", "tone.ogg")]
        code, objects, err = run_probe(*paths)
        self.assertEqual(code, 0, err)
        self.assertEqual([dict(o)["path"] for o in objects], paths)
        for o in objects:
            self.check_shape(o)

    def test_wav_file(self):
        path = fixture("audio", "tone-1k-stereo.wav")
        obj = self.probe_one(path)
        self.assertTrue(obj["ok"])
        self.assertEqual(obj["FileName"], path)
        self.assertEqual(obj["FileSize"], os.path.getsize(path))
        self.assertEqual(obj["SampleRate"], 44100)
        self.assertEqual(obj["Channels"], 2)
        self.assertEqual(obj["BitsPerSample"], 16)
        self.assertEqual(obj["BitRate"], 1411)
        self.assertEqual(obj["Duration"], 1250)  # 55125 frames at 44.1 kHz
        self.assertNotEqual(obj["Format"], 0)
        self.assertEqual(obj["Title"], "tone-1k-stereo.wav")  # no tags: the file's name

    def test_mp3_file(self):
        path = fixture("audio", "tone-cbr128.mp3")
        obj = self.probe_one(path)
        self.assertTrue(obj["ok"])
        self.assertEqual(obj["FileSize"], os.path.getsize(path))
        self.assertEqual(obj["SampleRate"], 44100)
        self.assertEqual(obj["BitRate"], 128)
        self.assertEqual(obj["Channels"], 2)
        self.assertEqual(obj["Format"], 0x10005)
        self.assertLess(abs(obj["Duration"] - 1250), 60)

    def test_ogg_file(self):
        obj = self.probe_one(fixture("audio", "tone.ogg"))
        self.assertTrue(obj["ok"])
        self.assertEqual(obj["Format"], 0x10002)
        self.assertEqual(obj["SampleRate"], 44100)
        self.assertEqual(obj["Channels"], 2)
        self.assertLess(abs(obj["Duration"] - 1250), 60)
        self.assertEqual((obj["Title"], obj["Artist"], obj["Album"]),
                         ("Tone Title", "Tone Artist", "Tone Album"))

    def test_chinese_id3v2_text_comes_out_as_utf8(self):
        for name in ("title-id3v23.mp3", "title-id3v24.mp3"):
            with self.subTest(name=name):
                obj = self.probe_one(fixture("engine", name))
                self.assertTrue(obj["ok"])
                self.assertEqual(obj["Title"], "测试标题")
                self.assertEqual(obj["Artist"], "歌手")
                self.assertEqual(obj["Album"], '专辑 "一"')
                self.assertEqual(obj["Year"], "2024")

    def test_missing_and_non_audio_files_are_not_ok(self):
        for path in (fixture("engine", "missing.mp3"), fixture("engine", "not-audio.mp3"),
                     fixture("engine", "make-fixtures.sh")):
            with self.subTest(path=path):
                obj = self.probe_one(path)
                self.assertFalse(obj["ok"])
                self.assertEqual(obj["FileName"], path)
                self.assertEqual(obj["Duration"], 0)

    def test_odd_names_stay_valid_json(self):
        with tempfile.TemporaryDirectory() as tmp:
            # Quotes, a backslash and control characters survive the round trip.
            odd = os.path.join(tmp, 'a "b"\\c\td\x01e\x7f.mp3')
            obj = self.probe_one(odd)
            self.assertEqual(obj["path"], odd)
            self.assertFalse(obj["ok"])
            # Bytes that are not UTF-8 still give valid UTF-8 (run_probe decodes strictly).
            raw = os.fsencode(tmp) + b"/\xff\xfe-gbk-\xb2\xe2\xca\xd4.mp3"
            code, objects, err = run_probe(raw)
            self.assertEqual(code, 0, err)
            self.assertEqual(len(objects), 1)
            obj = self.check_shape(objects[0])
            self.assertFalse(obj["ok"])
            self.assertIn("测试", obj["path"])  # the GBK bytes decoded
            self.assertEqual(bytes.fromhex(obj["path_bytes"]), raw)  # and the exact bytes
            # Bytes that are neither UTF-8 nor GBK come back exactly too.
            raw = os.fsencode(tmp) + b"/bad\xff\xfe.mp3"
            code, objects, err = run_probe(raw)
            self.assertEqual(code, 0, err)
            self.assertEqual(bytes.fromhex(dict(objects[0])["path_bytes"]), raw)

    def test_no_argument_is_a_usage_error(self):
        proc = subprocess.run([PROBE], capture_output=True, timeout=60)
        self.assertNotEqual(proc.returncode, 0)
        self.assertEqual(proc.stdout, b"")
        self.assertIn(b"usage", proc.stderr)


if __name__ == "__main__":
    PROBE, FIXTURES = sys.argv[1], sys.argv[2]
    unittest.main(argv=sys.argv[:1], verbosity=2)
