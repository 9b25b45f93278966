#pragma once

namespace tivarne {

// Size scan: checks the label line and counts the samples of each class, then
// counts the lines of the expression file. Sets ngene, n, n1 and n2; ends the
// run through error() on any failure.
void get_parameters(const char* label_file, const char* expression_file);

}  // namespace tivarne
