#!/usr/bin/env python3
"""Checks that the program's sources stay small enough to read.

Every file in src/ stays within 500 lines and every function within 60
(from the line its signature starts on to its closing brace). A function
that must stay longer (one table or one switch kept whole) carries a
comment on the line just above its signature that begins with

    // Kept whole:

and says why. Prints each offence and the allowed exceptions; exits with 1
on an offence.
Usage: tools/check_sizes.py [repository root] [--list]
"""
import pathlib
import re
import sys

MAX_FILE_LINES = 500
MAX_FUNCTION_LINES = 60
EXCEPTION_MARK = "// Kept whole:"
SUFFIXES = (".cpp", ".h")
# Braces that open a scope whose contents are themselves declarations.
TRANSPARENT = re.compile(r'\b(namespace|class|struct|union|extern\s+"C")\b[^(]*$')


def strip_code(text):
    """Blanks comments, strings and character literals, keeping line breaks."""
    out = []
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            out.append(" " * (j - i))
            i = j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            out.append("".join(ch if ch == "\n" else " " for ch in text[i:j]))
            i = j
        elif text.startswith('R"', i) and (i == 0 or not (text[i - 1].isalnum() or text[i - 1] == "_")):
            open_paren = text.find("(", i)
            delimiter = text[i + 2 : open_paren]
            j = text.find(")" + delimiter + '"', open_paren)
            j = n if j < 0 else j + len(delimiter) + 2
            out.append('""' + "".join(ch if ch == "\n" else " " for ch in text[i + 2 : j]))
            i = j
        elif c in "\"'":
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            out.append(c + " " * (min(j, n) - i - 1) + (c if j < n else ""))
            i = j + 1
        else:
            out.append(c)
            i += 1
    return "".join(out)


def functions(text):
    """Yields (first line, last line) of every function body at declaration scope."""
    code = strip_code(text)
    line = 1
    stack = []  # per open brace: (is_function, start line)
    head_start = None  # line where the current declaration's text began
    head = []
    for c in code:
        if c == "\n":
            line += 1
        if c == "{":
            in_function = any(f for f, _ in stack)
            text_before = "".join(head).strip()
            is_function = (
                not in_function
                and "(" in text_before
                and not TRANSPARENT.search(text_before)
                and not re.search(r"=\s*$", text_before)
                and not re.search(r"\benum\b", text_before)
            )
            stack.append((is_function and not in_function, head_start or line))
            head, head_start = [], None
        elif c == "}":
            if stack:
                is_function, start = stack.pop()
                if is_function:
                    yield start, line
            head, head_start = [], None
        elif c == ";":
            head, head_start = [], None
        elif not any(f for f, _ in stack):
            if c == "#":
                head.append(c)
            elif not c.isspace() and head_start is None:
                head_start = line
            head.append(c)


def preprocessor_free(text):
    # Preprocessor lines would otherwise join the head of the next declaration.
    return "\n".join("" if l.lstrip().startswith("#") else l for l in text.split("\n"))


def check(root, listing):
    problems, allowed = [], []
    for path in sorted((root / "src").rglob("*")):
        if path.suffix not in SUFFIXES:
            continue
        text = path.read_text(encoding="utf-8", errors="replace")
        lines = text.split("\n")
        name = path.relative_to(root)
        count = len(lines) - (1 if text.endswith("\n") else 0)
        if count > MAX_FILE_LINES:
            problems.append(f"{name}: {count} lines (at most {MAX_FILE_LINES})")
        for start, end in functions(preprocessor_free(text)):
            length = end - start + 1
            if listing:
                print(f"{length:4d} {name}:{start}")
            if length <= MAX_FUNCTION_LINES:
                continue
            above = lines[start - 2].strip() if start >= 2 else ""
            where = f"{name}:{start}: function of {length} lines"
            if above.startswith(EXCEPTION_MARK):
                allowed.append(f"{where}, allowed: {above[len(EXCEPTION_MARK):].strip()}")
            else:
                problems.append(f"{where} (at most {MAX_FUNCTION_LINES})")
    return problems, allowed


def main():
    args = [a for a in sys.argv[1:] if a != "--list"]
    root = pathlib.Path(args[0] if args else pathlib.Path(__file__).resolve().parent.parent)
    problems, allowed = check(root, "--list" in sys.argv)
    for line in allowed:
        print(f"check_sizes: {line}")
    for line in problems:
        print(f"check_sizes: {line}", file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
