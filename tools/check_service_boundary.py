#!/usr/bin/env python3
"""Checks the conventions the service boundary rests on.

Exported services catch what is thrown inside them at their own frame
(runtime/base/service_boundary.h): the catch hands the service's frame to
the handler, which reads the caller's return address from it.  That holds
only while every such service keeps a frame of its own:

  1. in the sources, every function whose body uses QUENDAL_SERVICE_BEGIN
     is declared with a macro that forbids inlining (QUENDAL_SERVICE, or a
     local one such as ARRAY_SLOT), and QUENDAL_SERVICE_BEGIN opens its
     body, not an inner block;
  2. in the built program, every extern "C" service of that kind exists as
     a function of its own that sets up its frame (mov %rsp,%rbp: the
     compiler may first test arguments on a path that calls nothing, and
     keep the catch in a .cold part of the same function), and was not
     split into a part called as a function of its own (.part.N).

Usage: check_service_boundary.py SOURCE_DIR [PROGRAM]
Prints every violation and exits 1 when there is one.
"""
import pathlib
import re
import subprocess
import sys


def blank_comments_and_strings(text):
    """The text with comments, string and character literals blanked
    (newlines kept), so braces and names in them do not count."""
    out = []
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            out.append(re.sub(r"[^\n]", " ", text[i:j]))
            i = j
        elif text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            out.append(" " * (j - i))
            i = j
        elif text.startswith('R"', i) and (i == 0 or not (text[i - 1].isalnum() or text[i - 1] == "_")):
            open_paren = text.find("(", i)
            close = text.find(")" + text[i + 2:open_paren] + '"', open_paren)
            j = n if open_paren < 0 or close < 0 else close + (open_paren - i)
            out.append(re.sub(r"[^\n]", " ", text[i:j]))
            i = j
        elif c in "\"'":
            j = i + 1
            while j < n and text[j] != c:
                j += 2 if text[j] == "\\" else 1
            out.append(c + " " * (j - i - 1) + (c if j < n else ""))
            i = j + 1
        else:
            out.append(c)
            i += 1
    return "".join(out)


def noinline_macros(files):
    names = {"QUENDAL_SERVICE"}
    for path in files:
        for m in re.finditer(r"^\s*#\s*define\s+(\w+)\s+.*\bnoinline\b", path.read_text(), re.M):
            names.add(m.group(1))
    return names


def is_directive_start(code, i):
    """Whether the "#" at i opens a preprocessor line (token pasting, "##",
    and stringizing inside a macro body do not)."""
    if code[i] != "#":
        return False
    line_start = code.rfind("\n", 0, i) + 1
    return code[line_start:i].strip() == ""


def enclosing_declaration(code, pos):
    """The declaration text before the brace that opens the block holding
    pos, and whether that block is at namespace level (a function body)."""
    depth = 0
    i = pos
    while i > 0:
        i -= 1
        if code[i] == "}":
            depth += 1
        elif code[i] == "{":
            if depth == 0:
                break
            depth -= 1
    brace = i
    j = brace
    while j > 0 and code[j - 1] not in ";}{" and not is_directive_start(code, j - 1):
        j -= 1
    return brace, code[j:brace]


def check_sources(root):
    problems, services = [], set()
    files = sorted(pathlib.Path(root, "runtime").rglob("*.cpp")) + sorted(pathlib.Path(root, "runtime").rglob("*.h"))
    macros = noinline_macros(files)
    boundary = pathlib.Path(root, "runtime/base/service_boundary.h").read_text()
    if not re.search(r"#define QUENDAL_SERVICE\s+extern \"C\" __attribute__\(\(noinline\)\)", boundary):
        problems.append("runtime/base/service_boundary.h: QUENDAL_SERVICE must be extern \"C\" and noinline")
    for path in files:
        if path.name == "service_boundary.h":
            continue
        code = blank_comments_and_strings(path.read_text())
        for m in re.finditer(r"\bQUENDAL_SERVICE_BEGIN\b", code):
            line = code.count("\n", 0, m.start()) + 1
            brace, declaration = enclosing_declaration(code, m.start())
            words = set(re.findall(r"\w+", declaration))
            name = re.search(r"(\w+)\s*\(", declaration)
            where = f"{path.relative_to(root)}:{line}"
            if not words & macros:
                problems.append(f"{where}: the service around QUENDAL_SERVICE_BEGIN is not declared "
                                f"with a noinline macro ({', '.join(sorted(macros))})")
            elif code[brace + 1:m.start()].replace("\\", "").strip():
                problems.append(f"{where}: QUENDAL_SERVICE_BEGIN must open the service's body")
            # Names made by token pasting inside a macro are not known here.
            if "QUENDAL_SERVICE" in words and name and not words & {"template", "define"} and "##" not in declaration:
                services.add(name.group(1))
    return problems, services


def check_program(program, services):
    problems = []
    listing = subprocess.run(["objdump", "-d", program], check=True, capture_output=True, text=True).stdout
    bodies = {}
    current = None
    for line in listing.splitlines():
        head = re.match(r"^[0-9a-f]+ <([^>]+)>:$", line)
        if head:
            current = head.group(1)
            bodies[current] = []
        elif current is not None and "\t" in line:
            # The raw bytes, not the disassembly: clang's function sanitizer
            # puts data in front of a function, which throws the decoder off.
            bodies[current].append(line.split("\t")[1].strip())
    for name in sorted(services):
        if name not in bodies:
            problems.append(f"{program}: service {name} is not a function of its own")
            continue
        code = " ".join(bodies[name] + bodies.get(name + ".cold", []))
        if "48 89 e5" not in code:  # mov %rsp,%rbp
            problems.append(f"{program}: service {name} sets up no frame of its own")
        parts = [b for b in bodies if b.startswith(name + ".part.")]
        if parts:
            problems.append(f"{program}: service {name} was split into {', '.join(parts)}")
    return problems


def main(argv):
    if len(argv) < 2:
        print(__doc__)
        return 2
    problems, services = check_sources(argv[1])
    if not services:
        problems.append("no QUENDAL_SERVICE found: the source check is broken")
    if len(argv) > 2:
        problems += check_program(argv[2], services)
    for p in problems:
        print(p)
    print(f"{len(services)} services checked, {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
