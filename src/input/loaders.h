#pragma once
#include "core/containers.h"
#include "core/progress.h"

namespace tivarne {

// Fills `expression` (already samples x genes) from the expression file:
// value k of the file is gene k / samples, sample k % samples. Only finite
// numbers are accepted, only white space may follow the last value, and every
// line holds the values of the genes the size scan counted on it. Numbers are
// read as fscanf "%lf" reads them (NumberReader), on context.threads threads,
// the file in blocks of `block_bytes` (0: 4 MiB per thread, at most 64 MiB;
// more when a line is longer). A malformed file gets the message of the first bad token in file
// order, as from read_expression_sequential.
void read_expression(ExpressionMatrix& expression, const char* expression_file, const Context& context,
                     std::size_t block_bytes = 0);

// The same, value by value on one thread, through a flat copy of the values:
// the straightforward reader the tests hold read_expression to.
void read_expression_sequential(ExpressionMatrix& expression, const char* expression_file,
                                ProgressReporter& progress);

// Fills `labels` (already of size samples) from the label file; only 0 and 1
// are accepted and only white space may follow the last label.
void read_label(LabelVector& labels, const char* label_file);

}  // namespace tivarne
