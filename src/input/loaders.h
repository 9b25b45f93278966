#pragma once
#include "input/types.h"

namespace tivarne {

// Fills `expression` (already n x ngene) from the expression file: value k of
// the file is gene k / n, sample k % n. Only finite numbers are accepted and
// only white space may follow the last value.
void read_expression(ExpressionMatrix& expression, const char* expression_file);

// Fills `labels` (already of size n) from the label file; only 0 and 1 are
// accepted and only white space may follow the last label.
void read_label(LabelVector& labels, const char* label_file);

}  // namespace tivarne
