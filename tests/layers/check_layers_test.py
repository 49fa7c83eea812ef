#!/usr/bin/env python3
"""scripts/check-layers against small trees: one that keeps the rules, one that
breaks each of them once."""
import os
import subprocess
import sys
import tempfile
import unittest

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "check-layers")


def run_on(files):
    with tempfile.TemporaryDirectory() as root:
        for path, text in files.items():
            os.makedirs(os.path.dirname(os.path.join(root, path)), exist_ok=True)
            with open(os.path.join(root, path), "w", encoding="utf-8") as file:
                file.write(text)
        done = subprocess.run([sys.executable, SCRIPT, root], capture_output=True, text=True)
        return done.returncode, done.stderr


class CheckLayersTest(unittest.TestCase):
    def test_a_tree_that_keeps_the_rules_passes(self):
        status, errors = run_on({
            "core/paths.cpp": '#include "core/paths.h"\n#include <string>\n#include <emmintrin.h>\n',
            "platform/strings.cpp": '#include "platform/strings.h"\n#include "core/json.h"\n#include <windows.h>\n',
            "webhost/view.cpp": '#include "platform/com.h"\n#include "local.h"\n',
            "webhost/local.h": "",
            "export/export_win.cpp": '#include "webhost/view.h"\n#include "core/json.h"\n',
            "update/check.cpp": '#  include "platform/dialogs.h"\n',
            "app/main.cpp": '#include "export/x.h"\n#include "update/y.h"\n#include "webhost/z.h"\n',
            "tools/any.cpp": '#include "app/main_window.h"\n',
        })
        self.assertEqual((status, errors), (0, ""))

    def test_each_broken_rule_is_named_with_its_file_and_include(self):
        status, errors = run_on({
            "core/editor.cpp": '#include "core/json.h"\n#include <Windows.h>\n#include "platform/com.h"\n',
            "export/export_win.cpp": '#include "platform/dialogs.h"\n\n#include "app/main_window.h"\n',
            "update/check.h": '#include "webhost/view.h"\n',
            "webhost/drop.cpp": '#include "../app/window_messages.h"\n',
            "platform/dialogs.cpp": '#include "tests/unit/temp_folder.h"\n',
        })
        self.assertEqual(status, 1)
        lines = errors.splitlines()
        expected = [
            'core/editor.cpp:2: #include <Windows.h>: core/ must not include a Windows header',
            'core/editor.cpp:3: #include "platform/com.h": core/ may include nothing, not platform/',
            'export/export_win.cpp:3: #include "app/main_window.h": export/ may include core, platform, webhost, not app/',
            'platform/dialogs.cpp:1: #include "tests/unit/temp_folder.h": platform/ may include core, not tests/',
            'update/check.h:1: #include "webhost/view.h": update/ may include core, platform, not webhost/',
            'webhost/drop.cpp:1: #include "../app/window_messages.h": webhost/ may include core, platform, not app/',
        ]
        self.assertEqual(lines[:-1], expected)
        self.assertIn("6 include(s)", lines[-1])


if __name__ == "__main__":
    unittest.main()
