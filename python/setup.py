"""Builds tivarne._core: the binding and the library's own sources.

The library's sources and their per-file flags are those of src/sources.txt,
the list CMake builds the command line from, and the version is the file
VERSION; both at the top of the repository. Every file gets the flags that
decide the numbers: C++17, no fused multiply-add, no fast-math, OpenMP, and
NDEBUG undefined (uBLAS keeps its index checks; the sources refuse NDEBUG).
The x86 kernel files carry their own instruction-set flag only on x86-64.

pip builds in the source tree (pip >= 21.3), so ../src and ../include are
there: pip install --no-build-isolation python/
"""
import os
import platform
import sys
from concurrent.futures import ThreadPoolExecutor

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext
from setuptools.command.build_py import build_py

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
X86_64 = platform.machine().lower() in ("x86_64", "amd64")

COMMON_FLAGS = ["-std=c++17", "-O3", "-ffp-contract=off", "-fno-fast-math", "-fopenmp", "-UNDEBUG",
                "-fvisibility=hidden", "-g0", "-Wall", "-Wextra"]


def repository_file(*parts):
    path = os.path.join(ROOT, *parts)
    if not os.path.exists(path):
        sys.exit("tivarne: %s is missing; build from a clone of the repository "
                 "(pip install --no-build-isolation python/)" % os.path.join(*parts))
    return path


def library_sources():
    """(sources relative to ROOT, {source: its own flags}) from src/sources.txt."""
    sources, flags = [], {}
    with open(repository_file("src", "sources.txt")) as f:
        for line in f:
            fields = line.split()
            if not fields or fields[0].startswith("#"):
                continue
            source = os.path.join("src", fields[0])
            if len(fields) > 1:  # an x86 kernel: "x86-64" and the file's own flags
                if fields[1] != "x86-64":
                    sys.exit("tivarne: src/sources.txt: %r: only x86-64 and flags may follow a file" % line)
                if not X86_64:
                    continue
                flags[source] = fields[2:]
            sources.append(source)
    return sources, flags


def version():
    """The one version of tivarne, in the file VERSION."""
    with open(repository_file("VERSION")) as f:
        return f.read().strip()


class BuildExt(build_ext):
    """Compiles every source with its own flags, two at a time, and links them."""

    def build_extension(self, ext):
        sources, own_flags = library_sources()
        jobs = [(os.path.join(ROOT, s), own_flags.get(s, [])) for s in sources]
        jobs.append((os.path.join(HERE, "src", "_core.cpp"), []))
        macros = [("TIVARNE_VERSION", '"%s"' % version())]
        if X86_64:
            macros.append(("TIVARNE_X86_KERNELS", None))
        includes = [os.path.join(ROOT, "include"), os.path.join(ROOT, "src")] + pybind11_includes()
        depends = ext.depends + [os.path.join(ROOT, "src", "sources.txt"), os.path.join(ROOT, "VERSION")]

        def compile_one(job):
            source, flags = job
            return self.compiler.compile([source], output_dir=self.build_temp, macros=macros,
                                         include_dirs=includes, debug=self.debug,
                                         extra_postargs=COMMON_FLAGS + flags, depends=depends)

        with ThreadPoolExecutor(max_workers=min(2, os.cpu_count() or 1)) as pool:
            objects = [o for objs in pool.map(compile_one, jobs) for o in objs]
        self.compiler.link_shared_object(
            objects, self.get_ext_fullpath(ext.name), libraries=self.get_libraries(ext),
            extra_postargs=["-fopenmp"], export_symbols=self.get_export_symbols(ext),
            debug=self.debug, build_temp=self.build_temp, target_lang="c++")


class BuildPy(build_py):
    """The modules, and tivarne/_version.py with the version of the file VERSION."""

    def run(self):
        super().run()
        if not self.dry_run:
            target = os.path.join(self.build_lib, "tivarne", "_version.py")
            with open(target, "w") as f:
                f.write("# Written by setup.py from the file VERSION.\nversion = %r\n" % version())


def pybind11_includes():
    """pybind11's headers: Debian's pybind11-dev puts them on the default path."""
    try:
        import pybind11
    except ImportError:
        return []
    return [pybind11.get_include()]


setup(
    version=version(),
    # report_assets: the report's template, styles, script and the vendored
    # cytoscape.js (a folder of data, listed as a package as setuptools wants).
    packages=["tivarne", "tivarne.report_assets"],
    package_data={"tivarne.report_assets": ["*"]},
    ext_modules=[Extension("tivarne._core", sources=["src/_core.cpp"], language="c++",
                           depends=[os.path.join(ROOT, "include", "tivarne", "tivarne.h")])],
    cmdclass={"build_ext": BuildExt, "build_py": BuildPy},
)
