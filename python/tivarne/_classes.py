"""Which samples form class 1 and class 2, shared by analyse() and tivarne-prep.

A class is named by a value, by a list of values that are merged into one
class, or by a shell-style pattern for string values ("B*"); a value that
equals a class exactly is that class, never a pattern. Samples in neither
class are left out. A class of fewer than MIN_CLASS_SIZE samples is refused,
one of fewer than SMALL_CLASS_SIZE is warned about.
"""
import fnmatch
import numbers

import numpy as np

from ._tool import InputError

MIN_CLASS_SIZE = 3
SMALL_CLASS_SIZE = 10


class SmallClassWarning(UserWarning):
    """A class of fewer than 10 samples: its p-values rest on large-sample
    theory and are only approximate."""


class Selection:
    """The two classes over the samples: masks, the class values as given
    back to the user (a value, or a list when merged) and the sizes."""

    def __init__(self, in1, in2, class1, class2, values):
        self.in1, self.in2 = in1, in2
        self.class1, self.class2 = class1, class2
        self.n1, self.n2 = int(in1.sum()), int(in2.sum())
        self.values = values  # the class values of class 1 and class 2


def same(a, b):
    """a == b for class values of any type, False where they cannot be compared."""
    try:
        return bool(a == b)
    except (TypeError, ValueError):
        return False


def plain(value):
    """A NumPy scalar as the Python value it holds."""
    return value.item() if isinstance(value, np.generic) else value


def is_zero_or_one(value):
    return isinstance(value, (numbers.Number, np.bool_)) and (value == 0 or value == 1)


def distinct(values):
    """{value: count} of the non-missing values, in order of first appearance."""
    counts = {}
    for value in values:
        if value is None:
            continue
        key = next((k for k in counts if same(k, value)), value)
        counts[key] = counts.get(key, 0) + 1
    return counts


def listing(counts, show=repr, limit=12):
    """'AML' (12), 'ALL' (14), ... for {class: size}."""
    items = ["%s (%d)" % (show(plain(value)), size) for value, size in counts.items()]
    return ", ".join(items[:limit]) + (", ..." if len(items) > limit else "") or "none"


def _items(wanted):
    return list(wanted) if isinstance(wanted, (list, tuple, set, frozenset, np.ndarray)) else [wanted]


def _bare(option):
    return option.split("%")[0].rstrip("= ")


def chosen(wanted, counts, option, show=repr, nouns=("class", "classes")):
    """The values among `counts` ({value: size}) that `wanted` names: a value,
    a list, or a pattern; InputError for a part that names none."""
    names = []
    for item in _items(wanted):
        found = [v for v in counts if same(v, item)]
        if not found and isinstance(item, str) and any(c in item for c in "*?["):
            found = [v for v in counts if isinstance(v, str) and fnmatch.fnmatchcase(v, item)]
        if not found:
            raise InputError("%s names no %s of the samples; the %s and their sizes: %s."
                             % (option % show(item), nouns[0], nouns[1], listing(counts, show)))
        names += [v for v in found if not any(v is c for c in names)]
    return names


def select(values, class1=None, class2=None, *, default=(1, 0), options=("class1=%s", "class2=%s"),
           show=repr, where=""):
    """The two classes among per-sample class `values` (None: no class).

    Without class1, values that are all 0 and 1 (`default`) give class 1 = 1
    and class 2 = 0; without class2, the one class besides class 1 is class 2.
    Raises InputError naming the classes and their sizes when that is not
    possible, when a part of class1 or class2 names no class, or when a class
    would be in both.
    """
    counts = distinct(values)
    prefix = where + ": " if where else ""
    if class1 is None:
        if not counts or not all(any(same(v, d) for d in default) for v in counts):
            raise InputError("%sname class 1 with %s; the classes and their sizes: %s."
                             % (prefix, _bare(options[0]), listing(counts, show)))
        if class2 is None and len(counts) < 2:
            raise InputError("%sall samples are of one class (%s); expected two classes."
                             % (prefix, listing(counts, show)))
        class1 = default[0]
        if class2 is None:
            class2 = default[1]
    try:
        chosen1 = chosen(class1, counts, options[0], show)
    except InputError as e:
        raise InputError(prefix + str(e))
    if class2 is None:
        others = [v for v in counts if not any(v is c for c in chosen1)]
        if not others:
            raise InputError("%severy sample with a class is in class 1 (%s); expected two classes."
                             % (prefix, listing(counts, show)))
        if len(others) > 1:
            raise InputError("%smore than two classes: name class 2 with %s (values, a list or a "
                             "pattern); the classes and their sizes: %s."
                             % (prefix, _bare(options[1]), listing(counts, show)))
        chosen2 = others
    else:
        try:
            chosen2 = chosen(class2, counts, options[1], show)
        except InputError as e:
            raise InputError(prefix + str(e))
    both = [v for v in chosen1 if any(v is c for c in chosen2)]
    if both:
        raise InputError("%sclass %s is in both %s and %s; a sample can be in one class only."
                         % (prefix, show(plain(both[0])), _bare(options[0]), _bare(options[1])))

    def shown(names, wanted):
        merged = isinstance(wanted, (list, tuple, set, frozenset, np.ndarray)) or len(names) > 1
        return [plain(v) for v in names] if merged else plain(names[0])

    return Selection(member(values, chosen1), member(values, chosen2), shown(chosen1, class1),
                     shown(chosen2, class2), chosen1 + chosen2)


def member(values, names):
    """Per value: whether it is one of `names` (None never is)."""
    return np.fromiter((v is not None and any(same(v, c) for c in names) for v in values),
                       dtype=bool, count=len(values))


def size_messages(selection, minimum=MIN_CLASS_SIZE, show=repr):
    """(error text or None, [warning texts]) about the sizes of the two classes."""
    warnings = []
    for number, name, size in ((1, selection.class1, selection.n1), (2, selection.class2, selection.n2)):
        what = "class %d (%s)" % (number, show(name))
        if size < minimum:
            return ("%s has %d sample%s; at least %d are needed: with fewer, the correlations and "
                    "their p-values carry no information." % (what, size, "" if size == 1 else "s",
                                                              minimum)), []
        if size < SMALL_CLASS_SIZE:
            warnings.append("%s has %d samples, fewer than %d: the p-values rest on large-sample "
                            "theory and are only approximate." % (what, size, SMALL_CLASS_SIZE))
    return None, warnings


def r_name(name):
    """The name R's check.names makes of `name` (make.names): characters other
    than letters, digits, . and _ become ., and an X goes in front of a name
    that does not start with a letter or a . without a digit after it."""
    out = "".join(c if c.isalnum() or c in "._" else "." for c in name)
    if not out or not (out[0].isalpha() or out[0] == "." and not out[1:2].isdigit()):
        out = "X" + out
    return out


def _examples(pairs, first, second):
    pairs = list(pairs)
    shown = ", ".join('"%s" in %s for "%s" in %s' % (b, second, a, first) for a, b in pairs[:2])
    return shown + (" (%d such names)" % len(pairs) if len(pairs) > 2 else "")


def name_mismatch(columns, sheet, ids=(), where=("the sheet", "the table")):
    """Why names of `sheet` are not among the table's sample `columns`, as a
    sentence ("" when every name is there or nothing explains it): a
    transposed table (the names are among the gene `ids`), R's check.names
    (X prefix, . for other characters), or leading zeros lost in a
    spreadsheet. `where` names the two sides."""
    present = set(columns)
    absent = [name for name in sheet if name not in present]
    if not absent:
        return ""
    ids = set(ids)
    transposed = [name for name in absent if name in ids]
    if len(transposed) >= max(1, len(absent) // 2):
        return ("%s looks transposed: %d of these names are its gene IDs (%s, ...); expected one row per gene "
                "and one column per sample (transpose it, e.g. t() in R)"
                % (where[1], len(transposed), ", ".join(transposed[:3])))
    sheet_side, table_side = where
    by_r_name = {r_name(name): name for name in absent}
    mangled = [(by_r_name[c], c) for c in columns if c in by_r_name and by_r_name[c] != c]
    if mangled:
        return ("in %s the names are as R's check.names makes them (%s): read the table in R with "
                "check.names = FALSE and write it again, or rename them"
                % (table_side, _examples(mangled, sheet_side, table_side)))
    by_name = {r_name(c): c for c in columns}
    mangled = [(name, by_name[name]) for name in absent if name in by_name and by_name[name] != name]
    if mangled:
        return ("in %s the names are as R's check.names makes them (%s): write it from R with "
                "check.names = FALSE, or rename them" % (sheet_side, _examples([(b, a) for a, b in mangled],
                                                                               table_side, sheet_side)))
    numbers = {}
    for c in columns:
        if c.isdigit():
            numbers.setdefault(int(c), c)
    zeros = [(name, numbers[int(name)]) for name in absent if name.isdigit() and int(name) in numbers]
    if zeros:
        return ("the names differ in leading zeros (%s): a spreadsheet turned them into numbers; format the "
                "column as text and export again, or write the names with their zeros"
                % _examples(zeros, sheet_side, table_side))
    return ""
