#!/usr/bin/env python3
"""The size check on small trees: it counts a function from its signature to
its closing brace, sees through namespaces, classes, comments and strings, and
lets a function marked as kept whole through."""
import subprocess
import sys
import tempfile
import pathlib

script = sys.argv[1]


def body(lines):
    return "".join(f"    x += {i};\n" for i in range(lines))


def run(files):
    with tempfile.TemporaryDirectory() as root:
        for name, text in files.items():
            path = pathlib.Path(root, name)
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_text(text)
        done = subprocess.run([sys.executable, script, root], capture_output=True, text=True)
        return done.returncode, done.stdout + done.stderr


long_function = "int f(int x) {\n" + body(59) + "}\n"  # 61 lines
cases = [
    # (files, expected exit code, texts the report must hold, texts it must not)
    ({"src/a/a.cpp": "int f(int x) {\n" + body(58) + "}\n"}, 0, [], ["a.cpp"]),
    ({"src/a/a.cpp": "\n" + long_function}, 1, ["src/a/a.cpp:2: function of 61 lines"], []),
    ({"src/a/a.cpp": "namespace {\nstruct S {\n" + long_function + "};\n}\n"}, 1, ["src/a/a.cpp:3:"], []),
    ({"src/a/a.cpp": "// Kept whole: one table\n" + long_function}, 0, ["allowed: one table"], []),
    # Braces inside strings, characters and comments do not open or close anything.
    ({"src/a/a.cpp": 'int f() {\n    const char* s = "}}";\n    char c = \'{\';\n    // }\n' + body(40) + "}\n" +
      'int g(int x) {\n' + body(30) + "}\n"}, 0, [], ["function of"]),
    # Lambdas and blocks count with the function that holds them.
    ({"src/a/a.cpp": "void f() {\n    auto l = [] {\n" + body(30) + "    };\n" + body(30) + "}\n"}, 1,
     ["a.cpp:1: function of 64 lines"], []),
    ({"src/a/big.h": "\n" * 501}, 1, ["src/a/big.h: 501 lines"], []),
    ({"tests/a/big.cpp": "\n" * 900 + long_function}, 0, [], ["big.cpp"]),
]
failures = 0
for files, code, wanted, unwanted in cases:
    got_code, report = run(files)
    if got_code != code or any(t not in report for t in wanted) or any(t in report for t in unwanted):
        print(f"FAIL {list(files)}: exit {got_code}, report:\n{report}")
        failures += 1
print(f"{len(cases) - failures} passed, {failures} failed")
sys.exit(1 if failures else 0)
