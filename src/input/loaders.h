#pragma once
#include "core/containers.h"
#include "core/progress.h"

namespace tivarne {

// Fills `expression` (already samples x genes) from the expression file:
// value k of the file is gene k / samples, sample k % samples. Only finite
// numbers are accepted, only white space may follow the last value, and every
// line holds the values of the genes the size scan counted on it.
void read_expression(ExpressionMatrix& expression, const char* expression_file,
                     ProgressReporter& progress);

// Fills `labels` (already of size samples) from the label file; only 0 and 1
// are accepted and only white space may follow the last label.
void read_label(LabelVector& labels, const char* label_file);

}  // namespace tivarne
