"""What the companions share: one-line errors, reading files (gzip too),
and writing files under a temporary name first."""
import argparse
import gzip
import os
import sys
import tempfile
import zlib

GZIP_MAGIC = b"\x1f\x8b"


class InputError(ValueError):
    """A problem with the input or the options; its text is the message."""


def where(path, line=None, column=None):
    """`path`, `path, line 3` or `path, line 3, column 5`."""
    text = str(path)
    if line is not None:
        text += ", line %d" % line
    if column is not None:
        text += ", column %d" % column
    return text


def shown(token, limit=40):
    """A token as it appears in a message: quoted, control characters escaped."""
    if isinstance(token, bytes):
        token = token.decode("latin-1")
    text = token if len(token) <= limit else token[:limit] + "..."
    escaped = "".join(c if c.isprintable() else repr(c)[1:-1] for c in text)
    return '"%s"' % escaped.replace('"', '\\"')


def read_bytes(path, what, *, unzip=False):
    """The bytes of a file; with `unzip`, a gzip-compressed file is decompressed."""
    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError as e:
        raise InputError('Cannot read the %s file "%s": %s.' % (what, path, e.strerror or e))
    if unzip and data.startswith(GZIP_MAGIC):
        try:
            data = gzip.decompress(data)
        except (OSError, EOFError, zlib.error) as e:
            raise InputError('%s: not a readable gzip file (%s).' % (path, e))
    return data


def read_text(path, what):
    """A text file (gzip-compressed or not) as str: UTF-8, with or without a
    byte order mark, else Latin-1 (spreadsheet exports)."""
    data = read_bytes(path, what, unzip=True)
    try:
        return data.decode("utf-8-sig")
    except UnicodeDecodeError:
        return data.decode("latin-1")


def write_files(files):
    """Writes {path: text} so that each file appears complete or not at all:
    every text goes to a temporary name beside its file first, and the names
    are switched only when all of them are written."""
    for path in files:
        if os.path.isdir(path):
            raise InputError('Cannot write "%s": it is a directory.' % path)
    done = []
    umask = os.umask(0)
    os.umask(umask)
    try:
        for path, text in files.items():
            folder = os.path.dirname(os.path.abspath(path))
            fd, temporary = tempfile.mkstemp(prefix=".%s." % os.path.basename(path), dir=folder)
            done.append((temporary, path))
            os.chmod(temporary, 0o666 & ~umask)  # as open() would make it
            with os.fdopen(fd, "w", encoding="utf-8", newline="\n") as f:
                f.write(text)
        for temporary, path in done:
            os.replace(temporary, path)
    except OSError as e:
        for temporary, _ in done:
            if os.path.exists(temporary):
                os.unlink(temporary)
        raise InputError('Cannot write "%s": %s.' % (e.filename or path, e.strerror or e))


class Parser(argparse.ArgumentParser):
    """Option errors as one `Error: ...` line and exit status 1."""

    def error(self, message):
        sys.stderr.write("Error: %s (see %s -h).\n" % (message, self.prog))
        sys.exit(1)


def run(work, argv=None):
    """Runs work(argv); a InputError becomes one `Error: ...` line and status 1."""
    try:
        work(argv)
    except InputError as e:
        sys.stderr.write("Error: %s\n" % e)
        return 1
    except KeyboardInterrupt:
        sys.stderr.write("Error: Interrupted.\n")
        return 1
    except BrokenPipeError:  # the reader of standard output stopped early (| head)
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        return 1
    return 0
