#!/usr/bin/python3
"""Every place that states tivarne's version states the one in the file VERSION.

    .ci/check_versions.py REPOSITORY_ROOT BUILD_DIR [PRINT_VERSION]

CMake, the Python build and the library's version() read VERSION; the R
package's DESCRIPTION and the manual pages carry a copy, which must agree.
PRINT_VERSION is a client of the shared library that prints its version(). Each
disagreement is one line saying where and what to write; status 1 if any.
"""
import glob
import os
import re
import subprocess
import sys


def read(path):
    with open(path, encoding="utf-8") as f:
        return f.read()


def field(path, pattern):
    """The first group of `pattern` in the file, or a note that it is missing."""
    found = re.search(pattern, read(path), re.M)
    return found.group(1) if found else "(none found)"


def main():
    root, build = sys.argv[1], sys.argv[2]
    version = read(os.path.join(root, "VERSION")).strip()
    if not re.fullmatch(r"\d+\.\d+\.\d+", version):
        print("VERSION holds %r; write MAJOR.MINOR.PATCH" % version)
        return 1
    stated = {
        "r/DESCRIPTION (Version:)": field(os.path.join(root, "r", "DESCRIPTION"), r"^Version:\s*(\S+)"),
        "tivarne.pc (Version:)": field(os.path.join(build, "tivarne.pc"), r"^Version:\s*(\S+)"),
        "tivarneConfigVersion.cmake": field(os.path.join(build, "tivarneConfigVersion.cmake"),
                                            r'PACKAGE_VERSION "([^"]*)"'),
        "the .deb (CPACK_PACKAGE_VERSION)": field(os.path.join(build, "CPackConfig.cmake"),
                                                  r'CPACK_PACKAGE_VERSION "([^"]*)"'),
    }
    for page in sorted(glob.glob(os.path.join(root, "doc", "*.1"))):
        stated["doc/%s (.TH)" % os.path.basename(page)] = field(page, r'^\.TH .*"tivarne ([^"]*)"')
    python = subprocess.run([sys.executable, "setup.py", "--version"], cwd=os.path.join(root, "python"),
                            capture_output=True, text=True)
    lines = python.stdout.split()
    stated["python/setup.py --version"] = lines[-1] if python.returncode == 0 and lines else python.stderr
    if len(sys.argv) > 3:
        out = subprocess.run([sys.argv[3]], capture_output=True, text=True)
        stated["tivarne::version() of libtivarne.so"] = out.stdout.strip() or out.stderr.strip()
    # The package in a source checkout reads VERSION; the one in the build
    # tree has it written in, and its extension reports the compiled
    # library's version().
    packages = [("python", "tivarne.__version__")]
    if glob.glob(os.path.join(build, "python", "tivarne", "_core*.so")):
        packages += [(os.path.join(build, "python"), "tivarne.__version__"),
                     (os.path.join(build, "python"), "tivarne._core.__version__")]
    for path, name in packages:
        env = dict(os.environ, PYTHONPATH=os.path.join(root, path), PYTHONDONTWRITEBYTECODE="1")
        out = subprocess.run([sys.executable, "-c", "import tivarne; print(%s)" % name],
                             env=env, capture_output=True, text=True)
        stated["%s (%s)" % (name, path)] = out.stdout.strip() or out.stderr.strip()
    wrong = [(where, value) for where, value in stated.items() if value != version]
    for where, value in wrong:
        print("%s says %s, but VERSION says %s: write %s there" % (where, value, version, version))
    if not wrong:
        print("version %s everywhere: %s" % (version, ", ".join(stated)))
    return 1 if wrong else 0


if __name__ == "__main__":
    sys.exit(main())
