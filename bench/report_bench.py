#!/usr/bin/env python3
"""The HTML report's size and the time headless Chromium takes to draw it.

    PYTHONPATH=build/python /usr/bin/python3 bench/report_bench.py [--repeats 5]
        [--genes NAMES] [--screenshot doc/report.png] [WORK_DIR]

Writes two reports of the bundled example (examples/golub):
- at the defaults of tivarne-report (level 0.01, 500 pairs, 500 in the network);
- 1,000 pairs with 500 of them in the network (--max-pairs 1000);
then opens each REPEATS times in a fresh headless Chromium (network blocked,
as the tests open it) and reads two times from the start of navigation: to
the page's "tivarne-ready" mark (summary, the table's first rows, the first
scatter plot, the network laid out and drawn: the page is on the screen and
answers) and to "tivarne-complete" (every row of the tables drawn too).
Prints the sizes and the times (median and range) as Markdown.

--screenshot writes a picture of the defaults' report (the pairs, the first
scatter plot and the network, 1400 pixels wide, scaled to 980, 8-bit colour)
for the front page; --genes gives the genes' names (one per line, the order of
expr.txt; e.g. golub.gnames of R's multtest package).
"""
import argparse
import io
import os
import statistics
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "python", "tests", "report"))

import headless  # noqa: E402
import tivarne  # noqa: E402

GOLUB = os.path.join(ROOT, "examples", "golub")


def render_ms(path, repeats):
    """[(ready ms, complete ms)] of `repeats` fresh browsers."""
    times = []
    for _ in range(repeats):
        with headless.Browser() as browser:
            browser.open(path)
            if not browser.wait_for("window.tivarneReport && tivarneReport.complete"):
                sys.exit("%s: the page did not become ready" % path)
            times.append(browser.run("return ['tivarne-ready', 'tivarne-complete'].map(function (name) { "
                                     "return performance.getEntriesByName(name)[0].startTime; })"))
            errors = browser.console_errors()
            if errors:
                sys.exit("%s: console errors: %s" % (path, errors))
    return times


def screenshot(path, target):
    from PIL import Image
    with headless.Browser(1400, 1600) as browser:
        browser.open(path)
        browser.wait_for("window.tivarneReport && tivarneReport.ready")
        browser.run("document.getElementById('pairs').scrollIntoView()")
        picture = Image.open(io.BytesIO(browser.screenshot())).convert("RGB")
    picture = picture.crop((0, 0, 1400, min(picture.size[1], 1440)))
    picture = picture.resize((980, round(picture.size[1] * 0.7)), Image.LANCZOS)
    picture.quantize(colors=256, method=Image.MEDIANCUT).save(target, optimize=True)
    print("%s: %d bytes" % (target, os.path.getsize(target)))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("work", nargs="?", help="folder for the reports (default: a temporary one)")
    parser.add_argument("--repeats", type=int, default=5)
    parser.add_argument("--genes", help="the genes' names, one per line")
    parser.add_argument("--screenshot", help="PNG of the defaults' report")
    args = parser.parse_args()
    reason = headless.missing()
    if reason:
        sys.exit(reason)
    work = args.work or tempfile.mkdtemp(prefix="tivarne-report-bench-")
    os.makedirs(work, exist_ok=True)
    expression, labels = os.path.join(GOLUB, "expr.txt"), os.path.join(GOLUB, "labels.txt")
    runs = [("defaults (500 pairs, 500 edges)", "defaults.html", {}),
            ("1,000 pairs, 500 edges", "pairs1000.html", {"max_pairs": 1000})]
    print("| report of examples/golub | size MB | pairs | nodes | ready ms, median (range) | complete ms |")
    print("|---|---|---|---|---|---|")
    for name, file, options in runs:
        path = os.path.join(work, file)
        data = tivarne.report(expression, labels, path, gene_names=args.genes, class_names=("AML", "ALL"), **options)
        times = render_ms(path, args.repeats)
        nodes = len(tivarne.network.graph(data["pairs"], data["summary"]["network_edges"])[0])
        ready, complete = ([t[k] for t in times] for k in (0, 1))
        print("| %s | %.2f | %d | %d | %.0f (%.0f-%.0f) | %.0f (%.0f-%.0f) |"
              % (name, os.path.getsize(path) / 1e6, len(data["pairs"]), nodes, statistics.median(ready), min(ready),
                 max(ready), statistics.median(complete), min(complete), max(complete)))
    if args.screenshot:
        screenshot(os.path.join(work, "defaults.html"), args.screenshot)


if __name__ == "__main__":
    main()
