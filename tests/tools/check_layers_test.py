#!/usr/bin/env python3
"""The layer check on small trees: it passes downward includes and names the
line of every upward or sideways one."""
import pathlib
import subprocess
import sys
import tempfile

script = sys.argv[1]


def run(files):
    with tempfile.TemporaryDirectory() as root:
        for name, text in files.items():
            path = pathlib.Path(root, name)
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_text(text)
        done = subprocess.run([sys.executable, script, root], capture_output=True, text=True)
        return done.returncode, done.stdout


cases = [
    # (files, expected exit code, texts the report must hold)
    ({"src/retrieval/a.cpp": '#include "store/b.h"\n#include "core/c.h"\n#include "base/d.h"\n'}, 0, []),
    ({"src/agent/a.cpp": '#include "viewer/v.h"\n#include "ui/u.h"\n'}, 0, []),
    ({"src/store/a.cpp": '#include "base/x.h"\n#include "agent/agent_window.h"\n'}, 1,
     ["src/store/a.cpp:2:", "store/ may not include agent/"]),
    ({"src/viewer/a.h": '#include "settings/page.h"\n'}, 1, ["src/viewer/a.h:1:"]),
    ({"src/base/a.cpp": '#include "core/agent_state.h"\n'}, 1, ["base/ may not include core/"]),
    ({"src/core/a.cpp": '#include "ui/tray_icon.h"\n'}, 1, ["core/ may not include ui/"]),
    ({"tests/store/t.cpp": '#include "agent/poll_cycle.h"\n'}, 1, ["tests/store/t.cpp:1:"]),
    ({"tests/support/s.cpp": '#include "agent/poll_cycle.h"\n'}, 0, []),
    ({"src/misc/a.cpp": "\n"}, 1, ["outside the layers"]),
]
failures = 0
for files, code, texts in cases:
    got_code, report = run(files)
    if got_code != code or any(t not in report for t in texts):
        print(f"FAIL {list(files)}: exit {got_code}, report:\n{report}")
        failures += 1
print(f"{len(cases) - failures} passed, {failures} failed")
sys.exit(1 if failures else 0)
