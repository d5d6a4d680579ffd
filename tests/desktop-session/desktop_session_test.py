#!/usr/bin/env python3
"""The installed program on the desktop, end to end.

    desktop_session_test.py BUILD_DIR FIXTURES_DIR

Run inside a private session bus (dbus-run-session), with DISPLAY and the
PulseAudio daemon of the test services. Installs the build into a temporary
prefix with `cmake --install`, makes the program folder read-only and runs
bin/quilletplay from there with a home of its own; each case plays into a
null sink of its own and reads what reached it.
"""
import array
import math
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest

BUILD = FIXTURES = None
BUS = "org.mpris.MediaPlayer2.quillet"
PATH = "/org/mpris/MediaPlayer2"
PLAYER = "org.mpris.MediaPlayer2.Player"
LOW = "tone 440 (low).mp3"  # a name that needs percent-encoding in a URI
HIGH = "tone-880-high.ogg"
RATE = 44100


def wait_for(predicate, timeout=10.0, step=0.1):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        value = predicate()
        if value:
            return value
        time.sleep(step)
    return predicate()


def run(args, timeout=20, env=None, check=False):
    return subprocess.run(args, capture_output=True, text=True, timeout=timeout, env=env, check=check)


def playerctl(*args):
    return run(["playerctl", "-p", "quillet", *args]).stdout.strip()


def gdbus(method, *args):
    """Calls a method of the player's object; (ok, output)."""
    r = run(["gdbus", "call", "--session", "-d", BUS, "-o", PATH, "-m", method, "--", *args])
    return r.returncode == 0, (r.stdout + r.stderr).strip()


def playlist_window_shown():
    """True when the program's playlist window is mapped on the display."""
    tree = run(["xwininfo", "-root", "-tree"]).stdout
    for wid in re.findall(r"(0x[0-9a-f]+) .*\(\"quilletplay\" \"Quillet\"\)", tree):
        if ('"playlist"' in run(["xprop", "-id", wid, "WM_WINDOW_ROLE"]).stdout
                and "IsViewable" in run(["xwininfo", "-id", wid]).stdout):
            return True
    return False


def frequency(samples):
    """Frequency (Hz) from the rising zero crossings of mono samples."""
    rising = [i for i in range(1, len(samples)) if samples[i - 1] < 0 <= samples[i]]
    if len(rising) < 2:
        return 0.0
    return (len(rising) - 1) * RATE / (rising[-1] - rising[0])


def level(samples):
    return math.sqrt(sum(s * s for s in samples) / len(samples)) if samples else 0.0


class Sink:
    """A null sink of the case's own, and recordings of its monitor."""

    def __init__(self):
        self.name = "quillet_desk_%d_%d" % (os.getpid(), int(time.monotonic() * 1000) % 100000)
        out = run(["pactl", "load-module", "module-null-sink", "sink_name=" + self.name,
                   "rate=44100", "channels=2"], check=True)
        self.module = out.stdout.strip()
        self.keepawake = subprocess.Popen(["parec", "-d", self.name + ".monitor", "--latency-msec=20",
                                           "--raw"], stdout=subprocess.DEVNULL)

    def record(self, seconds):
        """Mono 16-bit samples (-1..1) of the next `seconds` of the sink."""
        p = subprocess.Popen(["parec", "-d", self.name + ".monitor", "--latency-msec=20", "--raw",
                              "--format=s16le", "--channels=1", "--rate=%d" % RATE],
                             stdout=subprocess.PIPE)
        want = int(seconds * RATE) * 2
        data = b""
        deadline = time.monotonic() + seconds + 10
        while len(data) < want and time.monotonic() < deadline:
            chunk = p.stdout.read1(want - len(data))
            if not chunk:
                break
            data += chunk
        p.terminate()
        p.communicate()
        samples = array.array("h", data[: len(data) // 2 * 2])
        return [s / 32768.0 for s in samples]

    def close(self):
        self.keepawake.terminate()
        self.keepawake.wait()
        run(["pactl", "unload-module", self.module])


class Installed(unittest.TestCase):
    prefix = None
    locked = []

    @classmethod
    def setUpClass(cls):
        cls.prefix = tempfile.mkdtemp(prefix="quillet-prefix-")
        run(["cmake", "--install", BUILD, "--prefix", cls.prefix], timeout=300, check=True)
        cls.folder = os.path.join(cls.prefix, "lib", "quillet")
        # The program folder read-only, also for root (which ignores the
        # permission bits): immutable.
        folders = [root for root, _, _ in os.walk(cls.folder)]
        for d in folders:
            os.chmod(d, 0o555)
        if os.geteuid() == 0:
            for d in folders:
                run(["chattr", "+i", d], check=True)
                cls.locked.append(d)
        if os.access(cls.folder, os.W_OK):
            raise RuntimeError("the installed program folder is still writable")

    @classmethod
    def tearDownClass(cls):
        for d in reversed(cls.locked):
            run(["chattr", "-i", d])
        for root, dirs, _ in os.walk(cls.prefix):
            for d in dirs:
                os.chmod(os.path.join(root, d), 0o755)
        shutil.rmtree(cls.prefix, ignore_errors=True)

    def setUp(self):
        self.home = tempfile.mkdtemp(prefix="quillet-home-")
        self.sink = Sink()
        self.env = dict(os.environ, HOME=self.home, PULSE_SINK=self.sink.name,
                        XDG_CONFIG_HOME=os.path.join(self.home, "config"),
                        XDG_DATA_HOME=os.path.join(self.home, "data"))
        self.procs = []

    def tearDown(self):
        for p in self.procs:
            if p.poll() is None:
                p.kill()
                p.wait()
            p.stderr.close()
        self.sink.close()
        shutil.rmtree(self.home, ignore_errors=True)

    def program(self):
        return os.path.join(self.prefix, "bin", "quilletplay")

    def start(self, *names, env=None):
        p = subprocess.Popen([self.program(), *names], cwd=FIXTURES, env=env or self.env,
                             stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        self.procs.append(p)
        return p

    def start_playing(self, *names):
        p = self.start(*names)
        self.assertTrue(wait_for(lambda: playerctl("status") == "Playing", 20), "the program did not play")
        return p

    def second_start(self, *names, env=None):
        """A later start: it must end with status 0 within a moment."""
        # Relative names are resolved in the later start's own folder.
        r = subprocess.run([self.program(), *names], cwd=FIXTURES, env=env or self.env, capture_output=True,
                           text=True, timeout=20)
        self.assertEqual(r.returncode, 0, r.stderr)
        return r

    def quit(self, p):
        ok, out = gdbus("org.mpris.MediaPlayer2.Quit")
        self.assertTrue(ok, out)
        self.assertEqual(p.wait(timeout=20), 0)

    # ---- cases ----

    def test_file_on_the_command_line_is_heard_and_bad_names_skipped(self):
        p = self.start(LOW, "missing.mp3", "ftp://host/x.mp3")
        self.assertTrue(wait_for(lambda: playerctl("status") == "Playing", 20))
        samples = self.sink.record(2.0)
        self.assertGreater(level(samples), 0.1)
        self.assertAlmostEqual(frequency(samples[RATE // 2:]), 440, delta=10)
        self.quit(p)
        err = p.stderr.read()
        self.assertIn("skipped missing.mp3", err)
        self.assertIn("skipped ftp://host/x.mp3", err)
        # The command line's names are not saved: nothing was modified.
        self.assertFalse(os.path.exists(os.path.join(self.env["XDG_DATA_HOME"], "quillet", "playlist.xml")))
        # The installed program keeps its folders in the user's home.
        self.assertTrue(os.path.isdir(os.path.join(self.env["XDG_CONFIG_HOME"], "quillet")))

    def test_playerctl_reads_and_controls_the_player(self):
        p = self.start_playing(LOW, HIGH)
        self.assertEqual(playerctl("metadata", "xesam:title"), "Low Tone")
        self.assertEqual(playerctl("metadata", "xesam:artist"), "Quillet Tests")
        self.assertEqual(playerctl("metadata", "xesam:album"), "Desktop")
        url = playerctl("metadata", "xesam:url")
        self.assertTrue(url.startswith("file:///") and url.endswith("/tone%20440%20(low).mp3"), url)
        self.assertAlmostEqual(int(playerctl("metadata", "mpris:length")) / 1e6, 20.0, delta=0.3)

        playerctl("pause")
        self.assertEqual(playerctl("status"), "Paused")
        # The pause answers while its fade still runs; where it leaves the
        # stream is known once the fade is over.
        time.sleep(1.0)
        paused = float(playerctl("position"))
        time.sleep(0.5)
        self.assertAlmostEqual(float(playerctl("position")), paused, delta=0.05)
        self.assertLess(level(self.sink.record(0.5)), 0.01)
        playerctl("play")
        self.assertEqual(playerctl("status"), "Playing")

        playerctl("position", "12")
        self.assertAlmostEqual(float(playerctl("position")), 12.0, delta=1.0)
        playerctl("position", "3-")
        self.assertAlmostEqual(float(playerctl("position")), 9.0, delta=1.0)

        playerctl("volume", "0.5")
        self.assertAlmostEqual(float(playerctl("volume")), 0.5, delta=0.01)

        playerctl("next")
        self.assertEqual(playerctl("metadata", "xesam:title"), "High Tone")
        self.assertAlmostEqual(frequency(self.sink.record(1.5)[RATE // 2:]), 880, delta=15)
        playerctl("previous")
        self.assertEqual(playerctl("metadata", "xesam:title"), "Low Tone")
        playerctl("stop")
        self.assertEqual(playerctl("status"), "Stopped")
        playerctl("play")
        self.assertEqual(playerctl("status"), "Playing")

        playerctl("loop", "Track")
        self.assertEqual(playerctl("loop"), "Track")
        playerctl("loop", "Playlist")
        self.assertEqual(playerctl("loop"), "Playlist")
        playerctl("shuffle", "On")
        self.assertEqual(playerctl("shuffle"), "On")
        self.quit(p)

    def test_changes_are_signalled(self):
        p = self.start_playing(LOW)
        follow = subprocess.Popen(["playerctl", "-p", "quillet", "--follow", "status"], stdout=subprocess.PIPE,
                                  text=True)
        try:
            time.sleep(1.0)
            playerctl("pause")
            time.sleep(1.0)
            playerctl("play")
            time.sleep(1.0)
        finally:
            follow.terminate()
        lines = [line for line in follow.communicate()[0].split("\n") if line]
        self.assertEqual(lines[-3:], ["Playing", "Paused", "Playing"])
        self.quit(p)

    def test_second_start_hands_over_its_file(self):
        p = self.start_playing(LOW)
        started = time.monotonic()
        self.second_start(HIGH)
        self.assertLess(time.monotonic() - started, 10)
        self.assertTrue(wait_for(lambda: playerctl("metadata", "xesam:title") == "High Tone"))
        self.assertEqual(playerctl("status"), "Playing")
        # Without names it only shows the running program's playlist window.
        self.assertFalse(playlist_window_shown())
        self.second_start()
        self.assertTrue(wait_for(playlist_window_shown), "the playlist window is not shown")
        self.assertEqual(playerctl("metadata", "xesam:title"), "High Tone")
        self.assertIsNone(p.poll())
        self.quit(p)

    def test_a_flood_of_second_starts(self):
        # 50 in a row, each ending at once; the in-process test counts the
        # names of 50 at the same time.
        p = self.start_playing(LOW)
        for i in range(50):
            self.second_start(HIGH if i % 2 else LOW)
        # The last hand-over (the high tone) ends up playing once all are through.
        self.assertTrue(wait_for(lambda: playerctl("metadata", "xesam:title") == "High Tone"
                                 and playerctl("status") == "Playing", 30))
        self.assertAlmostEqual(frequency(self.sink.record(1.0)[RATE // 4:]), 880, delta=15)
        self.assertIsNone(p.poll())
        self.quit(p)

    def test_named_lists_are_listed_and_activated(self):
        data = os.path.join(self.env["XDG_DATA_HOME"], "quillet")
        os.makedirs(data)
        low = os.path.join(FIXTURES, LOW)
        with open(os.path.join(data, "playlist.xml"), "w", encoding="utf-8") as f:
            f.write('<?xml version="1.0"?>\n<playlist count="3">\n'
                    '<group1 caption="Morning &amp; &lt;Evening&gt;" count="0"/>\n'
                    '<group2 caption="晚上" count="1"><item0 filename="%s" title="Low Tone" duration="20000"/>'
                    '</group2>\n<group3 caption="" count="0"/>\n</playlist>\n' % low.replace("&", "&amp;"))
        p = self.start()
        self.assertTrue(wait_for(lambda: gdbus("org.mpris.MediaPlayer2.Playlists.GetPlaylists",
                                               "0", "10", "UserDefined", "false")[0], 20))
        ok, out = gdbus("org.mpris.MediaPlayer2.Playlists.GetPlaylists", "0", "10", "Nonsense", "false")
        self.assertTrue(ok, out)
        self.assertEqual(out, "([(objectpath '/quillet/playlist/1', 'Morning & <Evening>', ''), "
                              "('/quillet/playlist/2', '晚上', ''), ('/quillet/playlist/3', '', '')],)")
        ok, out = gdbus("org.mpris.MediaPlayer2.Playlists.GetPlaylists", "1", "1", "UserDefined", "true")
        self.assertEqual(out, "([(objectpath '/quillet/playlist/2', '晚上', '')],)")
        ok, out = gdbus("org.freedesktop.DBus.Properties.Get", "org.mpris.MediaPlayer2.Playlists",
                        "PlaylistCount")
        self.assertEqual(out, "(<uint32 3>,)")
        ok, out = gdbus("org.mpris.MediaPlayer2.Playlists.ActivatePlaylist", "/quillet/playlist/9")
        self.assertFalse(ok, out)
        ok, out = gdbus("org.mpris.MediaPlayer2.Playlists.ActivatePlaylist", "/quillet/playlist/2")
        self.assertTrue(ok, out)
        self.assertEqual(playerctl("status"), "Playing")
        self.assertEqual(playerctl("metadata", "xesam:title"), "Low Tone")
        ok, out = gdbus("org.freedesktop.DBus.Properties.Get", "org.mpris.MediaPlayer2.Playlists",
                        "ActivePlaylist")
        self.assertEqual(out, "(<(true, (objectpath '/quillet/playlist/2', '晚上', ''))>,)")
        self.quit(p)

    def test_bad_bus_calls_are_refused_without_harm(self):
        p = self.start_playing(LOW)
        playerctl("position", "5")
        trackid = playerctl("metadata", "mpris:trackid")
        refused = [
            ("org.freedesktop.DBus.Properties.Set", PLAYER, "Volume", "<'loud'>"),
            ("org.freedesktop.DBus.Properties.Set", PLAYER, "LoopStatus", "<'Sometimes'>"),
            ("org.freedesktop.DBus.Properties.Set", PLAYER, "Shuffle", "<1>"),
            ("org.freedesktop.DBus.Properties.Set", PLAYER, "PlaybackStatus", "<'Paused'>"),
            ("org.freedesktop.DBus.Properties.Set", PLAYER, "NoSuchThing", "<1>"),
            ("org.freedesktop.DBus.Properties.Get", "no.such.Interface", "Volume"),
            ("org.freedesktop.DBus.Properties.GetAll", "no.such.Interface"),
            (PLAYER + ".Seek", "'ten'"),
            (PLAYER + ".OpenUri", "gopher://example/x.mp3"),
            (PLAYER + ".OpenUri", "/no/such/file.mp3"),
            ("org.mpris.MediaPlayer2.Playlists.ActivatePlaylist", "/quillet/playlist/0"),
            ("org.mpris.MediaPlayer2.Playlists.ActivatePlaylist", "/quillet/playlist/-1"),
            ("org.mpris.MediaPlayer2.Playlists.GetPlaylists", "0", "10"),
        ]
        for call in refused:
            ok, out = gdbus(*call)
            self.assertFalse(ok, "%s answered %s" % (call, out))
        # NaN is not a volume (gdbus cannot write one; dbus-send can).
        r = run(["dbus-send", "--session", "--print-reply", "--dest=" + BUS, PATH,
                 "org.freedesktop.DBus.Properties.Set", "string:" + PLAYER, "string:Volume", "variant:double:nan"])
        self.assertNotEqual(r.returncode, 0)
        self.assertAlmostEqual(float(playerctl("volume")), 1.0, delta=0.01)
        # Absurd values that are ignored or clamped.
        before = float(playerctl("position"))
        for call in [(PLAYER + ".SetPosition", "/quillet/track/999999", "1000000"),
                     (PLAYER + ".SetPosition", trackid, "-5"),
                     (PLAYER + ".SetPosition", trackid, "999999999999"),
                     ("org.mpris.MediaPlayer2.Playlists.GetPlaylists", "4294967295", "4294967295", "", "true")]:
            ok, out = gdbus(*call)
            self.assertTrue(ok, "%s answered %s" % (call, out))
        self.assertAlmostEqual(float(playerctl("position")), before, delta=1.0)
        gdbus(PLAYER + ".Seek", "-9223372036854775808")
        self.assertLess(float(playerctl("position")), 1.0)
        gdbus("org.freedesktop.DBus.Properties.Set", PLAYER, "Volume", "<-3.0>")
        self.assertEqual(float(playerctl("volume")), 0.0)
        gdbus("org.freedesktop.DBus.Properties.Set", PLAYER, "Volume", "<1e308>")
        self.assertEqual(float(playerctl("volume")), 1.0)
        self.assertEqual(playerctl("status"), "Playing")
        self.assertIsNone(p.poll())
        self.quit(p)

    def test_sigterm_and_sigint_end_with_status_zero(self):
        for sig in (signal.SIGTERM, signal.SIGINT):
            p = self.start_playing(LOW)
            p.send_signal(sig)
            self.assertEqual(p.wait(timeout=20), 0)
            # The name is free again for the next start.
            self.assertTrue(wait_for(lambda: "quillet" not in run(["playerctl", "-l"]).stdout))

    def test_the_desktop_entry_is_valid_and_lists_what_the_player_plays(self):
        entry = os.path.join(self.prefix, "share", "applications", "quillet.desktop")
        r = run(["desktop-file-validate", entry])
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        with open(entry, encoding="utf-8") as f:
            keys = dict(line.rstrip("\n").split("=", 1) for line in f if "=" in line)
        self.assertEqual(keys["GenericName[zh_CN]"], "音乐播放器")
        self.assertIn("%U", keys["Exec"])
        for size in ("16x16", "48x48", "256x256", "scalable"):
            icon = "quillet.svg" if size == "scalable" else "quillet.png"
            self.assertTrue(os.path.isfile(os.path.join(self.prefix, "share/icons/hicolor", size, "apps", icon)))
        p = self.start()
        self.assertTrue(wait_for(lambda: gdbus("org.freedesktop.DBus.Properties.Get", "org.mpris.MediaPlayer2",
                                               "SupportedMimeTypes")[0], 20))
        ok, out = gdbus("org.freedesktop.DBus.Properties.Get", "org.mpris.MediaPlayer2", "SupportedMimeTypes")
        played = set(out.split("[", 1)[1].split("]", 1)[0].replace("'", "").replace(" ", "").split(","))
        self.assertIn("audio/mpeg", played)
        self.assertLessEqual(played, set(keys["MimeType"].strip(";").split(";")))
        self.assertEqual(playerctl("metadata", "mpris:trackid"), "'/org/mpris/MediaPlayer2/TrackList/NoTrack'")
        self.quit(p)

    def test_without_a_bus_a_local_socket_serves_and_a_stale_one_is_taken_over(self):
        runtime = tempfile.mkdtemp(prefix="quillet-runtime-")
        os.chmod(runtime, 0o700)
        env = dict(self.env, XDG_RUNTIME_DIR=runtime,
                   PULSE_SERVER="unix:" + os.path.join(os.environ["XDG_RUNTIME_DIR"], "pulse", "native"))
        env.pop("DBUS_SESSION_BUS_ADDRESS", None)
        # A socket left by a program that crashed: bound, never listened to.
        stale = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        stale.bind(os.path.join(runtime, "quillet.sock"))
        stale.close()
        try:
            p = self.start(LOW, env=env)
            self.assertTrue(wait_for(lambda: level(self.sink.record(0.3)) > 0.1, 20), "nothing heard")
            self.assertAlmostEqual(frequency(self.sink.record(1.0)[RATE // 4:]), 440, delta=10)
            self.second_start(HIGH, env=env)
            self.assertTrue(wait_for(lambda: abs(frequency(self.sink.record(0.6)[RATE // 4:]) - 880) < 15, 10),
                            "the handed-over file is not heard")
            self.assertIsNone(p.poll())
            p.send_signal(signal.SIGTERM)
            self.assertEqual(p.wait(timeout=20), 0)
            self.assertFalse(os.path.exists(os.path.join(runtime, "quillet.sock")))
        finally:
            shutil.rmtree(runtime, ignore_errors=True)


if __name__ == "__main__":
    BUILD, FIXTURES = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    if not os.environ.get("DBUS_SESSION_BUS_ADDRESS"):
        sys.exit("run inside a session bus of the test's own (dbus-run-session)")
    unittest.main(argv=[sys.argv[0]] + sys.argv[3:], verbosity=2)
