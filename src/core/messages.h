#pragma once
// Every message of tivarne's C++ code, written once: the library's errors
// (what() of tivarne::Error), the command line's own errors and notes, and the
// errors the Python and R bindings share. The texts carry no "Error: " in
// front: the command line adds it (error_line), Python and R raise them as
// they are. The command line prints these texts byte for byte, and scripts
// read them, so a change to one is a change of its output (and of its
// end-to-end cases).
#include <cstdint>
#include <string>

namespace tivarne::message {

// --- Reading the input files (scan_sizes, Dataset, load_dataset) ----------
inline constexpr char kCannotOpenLabels[] = "Cannot open the label file.";
inline constexpr char kCannotOpenExpression[] = "Cannot open the expression file.";
inline constexpr char kLabelFormat[] = "Invalid format in label data.";
// The size scan's test of one label per position, and of a second line.
inline constexpr char kLabelDataOrFormat[] = "Invalid data or format in label data";
inline constexpr char kLabelInput[] = "Aborted due to input error (label data).";
inline constexpr char kExpressionInput[] = "Aborted due to input error (expression data).";
inline constexpr char kExpressionFormat[] = "Invalid format in expression data.";
inline constexpr char kExpressionData[] = "Invalid data in expressions";
inline constexpr char kLabelData[] = "Invalid data in labels";
inline constexpr char kEmptyClass[] = "Each class needs at least one sample (label data).";
inline constexpr char kTooManyGenes[] = "Too many genes (at most 46341).";
// The size scan's label line has kept this spelling since the first release:
// scripts match it, so it stays.
inline constexpr char kLabelLineTooLong[] = "Absorted due to input error (label data).";
inline constexpr char kLabelLineAllocation[] = "Absorted due to allocation error.";

// --- The data handed to analyse() -----------------------------------------
inline constexpr char kInvalidSizes[] = "Invalid sizes of the data.";
inline constexpr char kNoLabels[] = "No labels given.";
inline constexpr char kNoValues[] = "No expression values given.";

// A value that is not a finite number; gene and sample count from 1.
inline std::string not_finite(std::int64_t gene, std::int64_t sample) {
    return "Invalid data in expressions (gene " + std::to_string(gene) + ", sample " +
           std::to_string(sample) + ": not a finite number).";
}

// Class `number` (1 or 2) has fewer samples than Options::min_class_size.
inline std::string class_too_small(int number, std::int64_t size, std::int64_t min_size) {
    return "Class " + std::to_string(number) + " has " + std::to_string(size) +
           (size == 1 ? " sample" : " samples") + "; each class needs at least " + std::to_string(min_size) +
           " for its correlations to mean anything.";
}

// --- Focused analyses (Options::focus_genes, focus_pairs); genes count from 1 --
inline constexpr char kFocusBoth[] = "Give either a set of genes or a list of pairs to focus on, not both.";
inline constexpr char kFocusOneGeneWithin[] = "The gene set has one gene: there is no pair within it.";
inline constexpr char kFocusOneGene[] = "The data have one gene: there is no pair.";
// `where`: "of the gene set" or "of the pair list".
inline std::string focus_gene_unknown(std::int64_t gene, const std::string& where, std::int64_t genes) {
    return "Gene " + std::to_string(gene) + " " + where + " is not in the data (genes 1 to " +
           std::to_string(genes) + ").";
}
inline std::string focus_gene_twice(std::int64_t gene) {
    return "Gene " + std::to_string(gene) + " is listed twice in the gene set.";
}
inline std::string focus_pair_self(std::int64_t gene) {
    return "The pair (" + std::to_string(gene) + ", " + std::to_string(gene) + ") pairs a gene with itself.";
}
inline std::string focus_pair_twice(std::int64_t x, std::int64_t y) {
    return "The pair (" + std::to_string(x) + ", " + std::to_string(y) + ") is listed twice.";
}

// --- The result file ------------------------------------------------------
inline constexpr char kCannotOpenOutput[] = "Cannot open the output file.";
inline constexpr char kCannotWriteOutput[] = "Cannot write the output file.";

// --- Failures of any step -------------------------------------------------
inline constexpr char kAllocation[] = "Aborted due to allocation error.";
inline constexpr char kCancelled[] = "Analysis cancelled.";
inline constexpr char kIndexOutOfRange[] = "Internal error: index out of range";
inline constexpr char kMedianOfNothing[] = "Internal error: median of no values";
// sort2's stack of 64 entries holds any 32-bit count: never seen.
inline constexpr char kSortStack[] = "Internal error: NSTACK too small in sort2.";

// A fault of tivarne itself, described by `what`.
inline std::string internal_error(const std::string& what) { return "Internal error: " + what; }

// --- The bindings (Python and R) ------------------------------------------
inline constexpr char kOneLabelPerSample[] = "one label per sample is needed";

// --- The command line -----------------------------------------------------
inline constexpr char kErrorPrefix[] = "Error: ";
inline constexpr char kWrongArgumentCount[] = "Wrong number of arguments.";
inline constexpr char kSpecifyExpression[] = "Specify \"-e filenameE\"";
inline constexpr char kSpecifyLabels[] = "Specify \"-l filenameL\"";
inline constexpr char kSpecifyOutput[] = "Specify \"-o filenameO\"";
inline constexpr char kOutputIsInput[] = "The output file must not be an input file.";
inline constexpr char kAnswerInput[] = "Aborted due to input error.";

inline std::string file_not_found(const std::string& name) { return "File \"" + name + "\" not found."; }

// The command line's line on standard error for `message` (no newline).
inline std::string error_line(const std::string& message) { return kErrorPrefix + message; }

// The notes after a run.
inline std::string note_without_p_value(long long count) {
    return "Note: " + std::to_string(count) +
           " examined gene pairs had no computable p-value (ECOR) and were not selected.";
}
inline std::string note_small_class(int number, int size) {
    return "Note: class " + std::to_string(number) + " has fewer than 3 samples (" + std::to_string(size) +
           "); its correlations and the p-values (ECOR) carry no information.";
}

}  // namespace tivarne::message
