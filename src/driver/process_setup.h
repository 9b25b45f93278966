#pragma once

namespace tivarne {

// Process set-up before the command line is read.
//
// Opens /dev/null on each of the standard descriptors 0, 1 and 2 that is
// closed at start. Otherwise the first files the run opens would take those
// numbers: the expression file would become standard input (its numbers read
// as the answers to the prompts), and the result file could become standard
// error (messages written into the results).
//
// Makes standard output line-buffered, also on a pipe or a file: the console
// lines then reach a log shared with standard error (`> run.log 2>&1`), or a
// result file written to /dev/stdout, in the order the program writes them.
//
// Ignores SIGXFSZ, so that a result file reaching the file size limit
// (ulimit -f) fails its write, which the run reports, instead of killing the
// process in the middle of a row.
void prepare_process();

}  // namespace tivarne
