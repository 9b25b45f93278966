#!/usr/bin/python3
"""The shared library exports its public API and nothing else.

    .ci/check_exports.py LIBTIVARNE_SO INCLUDE_DIR

Every name the library exports (nm -D --defined-only, demangled) must belong to
namespace tivarne and be made of names declared in the public headers
(INCLUDE_DIR/tivarne/*.h); typeinfo and vtables of public classes count as
theirs. Every function and class the headers mark TIVARNE_API must be exported.
Status 1 with the offending names otherwise.
"""
import glob
import os
import re
import subprocess
import sys

PREFIXES = ("typeinfo for ", "typeinfo name for ", "vtable for ", "VTT for ")


def header_code(include_dir):
    """The public headers' code: no comments, string literals or preprocessor lines."""
    paths = sorted(glob.glob(os.path.join(include_dir, "tivarne", "*.h")))
    if not paths:
        sys.exit("check_exports: no public headers in %s/tivarne" % include_dir)
    text = "\n".join(open(p, encoding="utf-8").read() for p in paths)
    text = re.sub(r"//[^\n]*|/\*.*?\*/", " ", text, flags=re.S)
    text = re.sub(r'"(\\.|[^"\\])*"', '""', text)
    return re.sub(r"^\s*#[^\n]*", " ", text, flags=re.M)


def marked(code):
    """Functions and classes the headers mark for export."""
    classes = re.findall(r"\b(?:class|struct)\s+TIVARNE_API\s+(\w+)", code)
    functions = re.findall(r"\bTIVARNE_API\s+[\w:<>,\s&*]*?\b(\w+)\s*\(", code)
    return set(classes), set(functions)


def exported(library):
    out = subprocess.run(["nm", "-D", "--defined-only", "-C", library], check=True,
                         capture_output=True, text=True).stdout
    names = []
    for line in out.splitlines():
        fields = line.split(None, 2)
        if len(fields) == 3:
            names.append(fields[2])
    return names


def qualified_name(symbol):
    """'tivarne::Dataset::view() const' -> ['tivarne', 'Dataset', 'view']."""
    for prefix in PREFIXES:
        if symbol.startswith(prefix):
            symbol = symbol[len(prefix):]
            break
    symbol = re.sub(r"\[abi:\w+\]", "", symbol)
    depth, end = 0, len(symbol)
    for i, ch in enumerate(symbol):  # the name ends at the first '(' outside template brackets
        if ch == "<":
            depth += 1
        elif ch == ">":
            depth -= 1
        elif ch == "(" and depth == 0 and not symbol[:i].endswith("operator"):
            end = i
            break
    return symbol[:end].split("::")


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    library, include_dir = sys.argv[1], sys.argv[2]
    code = header_code(include_dir)
    declared = set(re.findall(r"\b[A-Za-z_]\w*\b", code))
    classes, functions = marked(code)
    symbols = exported(library)
    problems = []
    for symbol in symbols:
        parts = qualified_name(symbol)
        if len(parts) < 2 or parts[0] != "tivarne":
            problems.append("outside namespace tivarne: " + symbol)
            continue
        for part in parts[1:]:
            name = part.lstrip("~")
            if not name.startswith("operator") and name not in declared:
                problems.append("not declared in the public headers: " + symbol)
                break
    seen = {tuple(qualified_name(s)) for s in symbols}
    for name in sorted(classes):
        if not any(parts[:2] == ("tivarne", name) for parts in seen):
            problems.append("class marked TIVARNE_API but nothing of it exported: tivarne::" + name)
    for name in sorted(functions):
        if not any(parts[-1] == name for parts in seen):
            problems.append("function marked TIVARNE_API but not exported: " + name)
    if problems:
        print("\n".join("check_exports: " + p for p in problems), file=sys.stderr)
        return 1
    print("%s: %d exported names, all of the public API of %s/tivarne" % (library, len(symbols), include_dir))
    return 0


if __name__ == "__main__":
    sys.exit(main())
