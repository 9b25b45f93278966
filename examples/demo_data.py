#!/usr/bin/python3
"""Writes the made-up demonstration data of examples/geo and examples/rnaseq.

Run from the repository root: /usr/bin/python3 examples/demo_data.py
Both data sets are random numbers with a few planted gene pairs whose
correlation differs between the classes; no real measurements.
"""
import numpy as np

rng = np.random.default_rng(20240601)


def planted(n_genes, classes, pairs, base=7.0):
    """Log-scale values; for each (x, y, {class: correlation}) the pair gets
    that correlation within each class."""
    n = len(classes)
    values = base + rng.normal(0, 1, (n_genes, n)) * rng.uniform(0.3, 1.2, (n_genes, 1))
    for x, y, rho in pairs:
        for cls, r in rho.items():
            cols = [k for k, c in enumerate(classes) if c == cls]
            z1 = rng.normal(0, 1, len(cols))
            z2 = r * z1 + np.sqrt(1 - r * r) * rng.normal(0, 1, len(cols))
            values[x, cols] = base + z1
            values[y, cols] = base + 0.5 + z2
    return values


def geo():
    states = ["AML"] * 12 + ["ALL"] * 14 + ["healthy"] * 8
    order = rng.permutation(len(states))
    states = [states[k] for k in order]
    tissue = ["bone marrow" if k % 3 else "peripheral blood" for k in range(len(states))]
    gsm = ["GSM%06d" % (k + 1) for k in range(len(states))]
    probes = ["%d_at" % (1000 + 7 * k) for k in range(40)]
    probes[3] = "1003_s_at"
    values = planted(40, states, [(4, 11, {"AML": 0.95, "ALL": -0.9, "healthy": 0.0}),
                                  (20, 33, {"AML": -0.9, "ALL": 0.9, "healthy": 0.9})])
    q = lambda items: "\t".join('"%s"' % v for v in items)  # noqa: E731
    lines = ['!Series_title\t"Made-up leukaemia subtypes (demonstration data)"',
             '!Series_geo_accession\t"GSE000000"',
             '!Series_platform_id\t"GPL000"',
             "!Sample_title\t" + q("patient %d" % (k + 1) for k in range(len(states))),
             "!Sample_geo_accession\t" + q(gsm),
             '!Sample_status\t' + q(["Public on Jan 01 2024"] * len(states)),
             "!Sample_source_name_ch1\t" + q("%s, %s" % (t, s) for t, s in zip(tissue, states)),
             '!Sample_organism_ch1\t' + q(["Homo sapiens"] * len(states)),
             "!Sample_characteristics_ch1\t" + q("disease state: " + s for s in states),
             "!Sample_characteristics_ch1\t" + q("tissue: " + t for t in tissue),
             "!Sample_characteristics_ch1\t" + q("age: %d" % rng.integers(20, 80) for _ in states),
             "!series_matrix_table_begin",
             '"ID_REF"\t' + q(gsm)]
    for k, probe in enumerate(probes):
        cells = ["%.4f" % v for v in values[k]]
        if k == 27:
            cells[5] = "null"  # a probe without a value in one sample
        lines.append('"%s"\t' % probe + "\t".join(cells))
    lines.append("!series_matrix_table_end")
    with open("examples/geo/GSE000000_series_matrix.txt", "w") as f:
        f.write("\n".join(lines) + "\n")


def rnaseq():
    conditions = ["control"] * 10 + ["treated"] * 10
    samples = ["ctrl_%d" % (k + 1) for k in range(10)] + ["trt_%d" % (k + 1) for k in range(10)]
    values = planted(60, conditions, [(2, 17, {"control": 0.9, "treated": -0.9}),
                                      (8, 41, {"control": -0.1, "treated": 0.95})], base=5.0)
    values[50] = 0.0          # not expressed at all
    values[51, :7] = 0.0      # mostly zero in the controls
    values[51, 10:] = 0.0
    table = values.round(3).astype(object)
    table[44, 3] = "NA"
    names = ["SYM%d" % (k + 1) for k in range(60)]
    with open("examples/rnaseq/expression.tsv", "w") as f:
        f.write("gene_id\tsymbol\t" + "\t".join(samples + ["pool_ref"]) + "\n")
        for k in range(60):
            cells = [str(v) for v in table[k]] + ["%.3f" % values[k].mean()]
            f.write("ENSDEMO%05d\t%s\t%s\n" % (k + 1, names[k], "\t".join(cells)))
    with open("examples/rnaseq/samples.csv", "w") as f:
        f.write("sample,condition,batch\n")
        for s, c in zip(samples, conditions):
            f.write("%s,%s,%d\n" % (s, c, 1 + samples.index(s) % 2))


geo()
rnaseq()
