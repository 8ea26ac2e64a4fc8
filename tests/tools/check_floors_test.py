#!/usr/bin/env python3
"""The include-floor checker finds each kind of fault in a small source tree, and passes a
sound one."""

import os
import sys
import tempfile
import unittest

sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools",
                                "includes"))
import check_floors  # noqa: E402


def write_tree(root, files):
    for path, text in files.items():
        full = os.path.join(root, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "w", encoding="utf-8") as f:
            f.write(text)


# A tree that keeps every rule: each folder includes only from below, by folder.
SOUND = {
    "core/services/Logger.h": "#pragma once\n",
    "core/display/Scale.h": '#include "services/Logger.h"\n',
    "core/weather/Model.h": '#include "display/Scale.h"\n',
    "app/widgets/Label.h": '#include "services/Logger.h"\n',
    "app/base/Settings.h": '#include "widgets/Label.h"\n',
    "app/radar/Page.h": '#include "base/Settings.h"\n',
    "app/radar/Page.cpp": '#include "radar/Page.h"\n',
    "app/conditions/Panel.cpp": '#include "radar/Page.h"\n#include "weather/Model.h"\n',
    "app/shell/Window.cpp": '#include "conditions/Panel.h"\n#include "radar/Page.h"\n',
    "app/conditions/Panel.h": "#pragma once\n",
    "app/main.cpp": '#include "shell/Window.h"\n',
    "app/shell/Window.h": "#pragma once\n",
    "tests/app/PanelTest.cpp": '#include "TestSupport.h"\n#include "conditions/Panel.h"\n',
    "tests/app/TestSupport.h": "#pragma once\n",
}


class CheckFloorsTest(unittest.TestCase):
    def faults_with(self, changes):
        with tempfile.TemporaryDirectory() as root:
            write_tree(root, {**SOUND, **changes})
            return check_floors.check(root)

    def test_a_sound_tree_has_no_fault(self):
        self.assertEqual(self.faults_with({}), [])

    def test_each_fault_is_named(self):
        cases = [
            ("a screen reaches the composing folder",
             {"app/radar/Page.cpp": '#include "shell/Window.h"\n'},
             "app/radar may not include \"shell/Window.h\""),
            ("a shared widget reaches a screen",
             {"app/widgets/Label.cpp": '#include "conditions/Panel.h"\n'},
             "app/widgets may not include \"conditions/Panel.h\""),
            ("the base reaches a screen",
             {"app/base/Settings.cpp": '#include "radar/Page.h"\n'},
             "app/base may not include \"radar/Page.h\""),
            ("core reaches the program",
             {"core/weather/Model.cpp": '#include "widgets/Label.h"\n'},
             "core/weather may not include \"widgets/Label.h\""),
            ("a lower core folder reaches a higher one",
             {"core/display/Scale.cpp": '#include "weather/Model.h"\n'},
             "core/display may not include \"weather/Model.h\""),
            ("a header named bare in the program",
             {"app/radar/Page.cpp": '#include "Settings.h"\n'},
             "\"Settings.h\" is named without its folder (\"base/Settings.h\")"),
            ("a header named bare in a test",
             {"tests/app/PanelTest.cpp": '#include "Panel.h"\n'},
             "\"Panel.h\" is named without its folder (\"conditions/Panel.h\")"),
            ("two screens that include each other",
             {"app/radar/Page.cpp": '#include "conditions/Panel.h"\n'},
             "cycle of includes among the program's classes app/conditions/Panel, "
             "app/radar/Page"),
        ]
        for what, changes, expected in cases:
            with self.subTest(what):
                faults = self.faults_with(changes)
                self.assertTrue(any(expected in fault for fault in faults), faults)

    def test_the_project_keeps_its_floors(self):
        source_dir = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
        self.assertEqual(check_floors.check(os.path.normpath(source_dir)), [])


if __name__ == "__main__":
    unittest.main()
