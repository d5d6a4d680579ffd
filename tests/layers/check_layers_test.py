#!/usr/bin/env python3
"""The layer check on small trees made for each case.

    check_layers_test.py PATH/TO/check-layers.py
"""
import os
import subprocess
import sys
import tempfile
import unittest

SCRIPT = None


def run_check(files):
    """Writes `files` (path -> text) into a fresh tree and runs the check over it;
    returns (exit status, output)."""
    with tempfile.TemporaryDirectory() as tree:
        for path, text in files.items():
            os.makedirs(os.path.join(tree, os.path.dirname(path)), exist_ok=True)
            with open(os.path.join(tree, path), "w", encoding="utf-8") as f:
                f.write(text)
        proc = subprocess.run([sys.executable, SCRIPT, tree], capture_output=True, text=True, timeout=60)
        return proc.returncode, proc.stdout + proc.stderr


class LayerCheck(unittest.TestCase):
    BASE = {
        "platform/text/Text.h": "#pragma once\n",
        "engine/types/PlayerTypes.h": "#pragma once\n",
        "engine/VAVIVerovu.h": '#include "engine/types/PlayerTypes.h"\n#include "plugins/PluginHost.h"\n',
        "plugins/PluginHost.h": '#include "engine/types/PlayerTypes.h"\n#include "platform/text/Text.h"\n',
        "plugins/PluginHost.cpp": '#include "plugins/PluginHost.h"\n#include <vector>\n#include "gtest/gtest.h"\n',
        "tests/plugins/test.cpp": '#include "engine/VAVIVerovu.h"\n',
    }

    def test_downward_includes_pass_and_the_arrows_are_printed(self):
        status, out = run_check(self.BASE)
        self.assertEqual(status, 0, out)
        self.assertIn("plugins           -> engine/types, engine/bass, platform/win", out)
        self.assertIn("every include goes down", out)
        self.assertIn("6 includes of the tree", out)  # not <vector>, nor a header outside the tree

    def test_includes_that_do_not_go_down_fail_with_file_and_line(self):
        cases = [  # (file, text, the problem reported)
            ("plugins/FedOutput.cpp", '#include "plugins/PluginHost.h"\n#include "engine/VAVIVerovu.h"\n',
             'plugins/FedOutput.cpp:2: plugins -> engine ("engine/VAVIVerovu.h")'),
            # Sideways: mediainfo and plugins are both below the engine, neither reaches the other.
            ("mediainfo/ID3v1.cpp", '#  include "plugins/PluginHost.h"\n',
             'mediainfo/ID3v1.cpp:1: mediainfo -> plugins'),
            # A path relative to the includer counts as well.
            ("engine/types/StreamInfo.h", '#include "../../plugins/PluginHost.h"\n',
             'engine/types/StreamInfo.h:1: engine/types -> plugins ("../../plugins/PluginHost.h")'),
            # Through an arrow's arrows only downwards: platform/text reaches nothing.
            ("platform/text/Text.cpp", '#include "engine/types/PlayerTypes.h"\n',
             'platform/text/Text.cpp:1: platform/text -> engine/types'),
            ("somewhere/New.cpp", '#include "platform/text/Text.h"\n',
             "somewhere/New.cpp: in no layer"),
            # A target that sees the whole tree would let the build take any include.
            ("plugins/CMakeLists.txt", "add_library(p STATIC PluginHost.cpp)\n"
                                       "target_include_directories(p PUBLIC ${PROJECT_SOURCE_DIR})\n",
             "plugins/CMakeLists.txt:2: the whole tree as an include root"),
        ]
        for path, text, problem in cases:
            with self.subTest(path=path):
                status, out = run_check({**self.BASE, path: text})
                self.assertEqual(status, 1, out)
                self.assertIn(problem, out)
                self.assertIn("1 problem(s)", out)

    def test_a_layer_reaches_what_its_arrows_reach(self):
        # engine -> plugins -> platform/win -> platform/text: the engine may include text.
        files = {**self.BASE, "engine/Translation.cpp": '#include "platform/text/Text.h"\n',
                 # A folder of the tree below the root is fine.
                 "tests/CMakeLists.txt": "target_include_directories(t PRIVATE ${PROJECT_SOURCE_DIR}/tests/x)\n"}
        status, out = run_check(files)
        self.assertEqual(status, 0, out)

    def test_the_plugin_library_sees_only_the_plugin_interface(self):
        files = {**self.BASE, "plugins/WinampVis.h": "#pragma once\n",
                 "plugins/visual/Draw.h": "#pragma once\n",
                 "plugins/visual/Vis.cpp": '#include "plugins/WinampVis.h"\n#include "plugins/visual/Draw.h"\n'}
        status, out = run_check(files)
        self.assertEqual(status, 0, out)
        status, out = run_check({**files, "plugins/visual/Host.cpp": '#include "plugins/PluginHost.h"\n'})
        self.assertEqual(status, 1, out)
        self.assertIn('plugins/visual/Host.cpp:1: plugins/visual may include only', out)
        self.assertIn("1 problem(s)", out)


if __name__ == "__main__":
    SCRIPT = sys.argv.pop(1)
    unittest.main()
