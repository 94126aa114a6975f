#!/usr/bin/env python3
"""The layer check itself: on a scratch tree of one-line sources it reports
exactly the includes that point up or sideways, and a folder without a layer."""
import os
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_layers  # noqa: E402

# (file, what it includes, reported)
CASES = [
    ("base/Text.cpp", "base/Text.h", False),
    ("rules/RuleModel.cpp", "base/Text.h", False),
    ("rules/ui/RuleDlg.cpp", "controls/List.h", False),
    ("rules/ui/RuleDlg.h", "rules/RuleModel.h", False),
    ("monitor/Page.cpp", "rules/ui/RuleDlg.h", False),
    ("app/Main.cpp", "base/Text.h", False),
    ("base/Box.cpp", "ui/Dialog.h", True),
    ("controls/Tray.cpp", "res/resource.h", True),
    ("rules/RuleModel.h", "controls/List.h", True),
    ("rules/ui/EditDlg.cpp", "sysview/ui/PickerDlg.h", True),
    ("sysview/Query.cpp", "rules/RuleModel.h", True),
    ("watch/Link.cpp", "monitor/Page.h", True),
    ("log/Queue.h", "watch/Link.h", True),
    ("ui/Window.cpp", "nowhere/Thing.h", True),
]


def main():
    with tempfile.TemporaryDirectory() as root:
        for source, target, _ in CASES:
            os.makedirs(os.path.join(root, os.path.dirname(source)), exist_ok=True)
            with open(os.path.join(root, source), "a", encoding="utf-8") as f:
                f.write(f'#include "{target}"\n')
        os.makedirs(os.path.join(root, "newfolder"))
        open(os.path.join(root, "newfolder", "Thing.cpp"), "w").close()
        reported = check_layers.faults(root)
        failed = 0
        for source, target, expected in CASES:
            seen = any(line.startswith(source + ":") and target in line for line in reported)
            if seen != expected:
                print(f"{source} -> {target}: {'reported' if seen else 'not reported'}, expected the opposite")
                failed += 1
        if not any(line.startswith("newfolder/") for line in reported):
            print("a folder with sources and no layer was not reported")
            failed += 1
        return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
