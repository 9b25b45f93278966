#pragma once
// Every message of tivarne's C++ code, written once: the library's errors
// (what() of tivarne::Error), the command line's own errors and notes, and the
// errors the Python and R bindings share. The texts carry no "Error: " in
// front: the command line adds it (error_line), Python and R raise them as
// they are. The command line prints these texts byte for byte, and scripts
// read them, so a change to one is a change of its output (and of its
// end-to-end cases). The constants have internal linkage (namespace-scope
// constexpr): an inline variable would be a unique global symbol of the
// shared library, exported whatever the visibility.
#include <cstdint>
#include <string>

namespace tivarne::message {

// --- Reading the input files (scan_sizes, Dataset, load_dataset) ----------
constexpr char kCannotOpenLabels[] = "Cannot open the label file.";
constexpr char kCannotOpenExpression[] = "Cannot open the expression file.";
constexpr char kLabelFormat[] = "Invalid format in label data.";
// The size scan's test of one label per position, and of a second line.
constexpr char kLabelDataOrFormat[] = "Invalid data or format in label data";
constexpr char kLabelInput[] = "Aborted due to input error (label data).";
constexpr char kExpressionInput[] = "Aborted due to input error (expression data).";
constexpr char kExpressionFormat[] = "Invalid format in expression data.";
constexpr char kExpressionData[] = "Invalid data in expressions";
constexpr char kLabelData[] = "Invalid data in labels";
constexpr char kEmptyClass[] = "Each class needs at least one sample (label data).";
constexpr char kTooManyGenes[] = "Too many genes (at most 46341).";
// The size scan's label line has kept this spelling since the first release:
// scripts match it, so it stays.
constexpr char kLabelLineTooLong[] = "Absorted due to input error (label data).";
constexpr char kLabelLineAllocation[] = "Absorted due to allocation error.";

// --- The data handed to analyse() -----------------------------------------
constexpr char kInvalidSizes[] = "Invalid sizes of the data.";
constexpr char kNoLabels[] = "No labels given.";
constexpr char kNoValues[] = "No expression values given.";

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
constexpr char kFocusBoth[] = "Give either a set of genes or a list of pairs to focus on, not both.";
constexpr char kFocusOneGeneWithin[] = "The gene set has one gene: there is no pair within it.";
constexpr char kFocusOneGene[] = "The data have one gene: there is no pair.";
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

// --- The calibrated p-value and label permutations ------------------------
// Class `number` (1 or 2) is too small for the calibrated p-value (n - 3 >= 1).
inline std::string calibrated_class_too_small(int number, std::int64_t size) {
    return "Class " + std::to_string(number) + " has " + std::to_string(size) +
           (size == 1 ? " sample" : " samples") +
           "; the calibrated p-value needs at least 4 in each class (it counts a class of n samples as n - 3): "
           "use the ECOR p-value or more samples.";
}
inline std::string permutations_below_one(std::int64_t n) {
    return "The number of permutations must be at least 1 (0 runs none); got " + std::to_string(n) + ".";
}
constexpr char kPermutationsNeeded[] =
    "Null summaries and a range of permutations need the number of permutations.";
constexpr char kPermutationsFocused[] =
    "Permutations count every pair, so they do not combine with a focused analysis (focus genes or pairs): run "
    "them without the focus.";
inline std::string too_many_permutations(std::int64_t n, std::int64_t n1, std::int64_t n2, std::int64_t labelings) {
    return std::to_string(n) + " permutations asked for, but classes of " + std::to_string(n1) + " and " +
           std::to_string(n2) + " samples have only " + std::to_string(labelings) +
           " distinct labelings: ask for at most " + std::to_string(labelings) + ".";
}
inline std::string permutation_range(std::int64_t from, std::int64_t to, std::int64_t n) {
    return "The range of permutations " + std::to_string(from) + " to " + std::to_string(to) +
           " (the last excluded) is not within 0 to " + std::to_string(n) +
           ": the first must lie below the last, the last at most the number of permutations.";
}
constexpr char kSummariesOrRange[] =
    "Give either null summaries to merge or a range of permutations to run, not both.";
// `which`: "Null summary 2" (counted from 1, in the order given).
inline std::string summary_foreign(const std::string& which) {
    return which + " was made from other data or options (data, classes, level, pairs, adjust, order, p-value, "
                   "permutations or seed differ): make every shard with the same.";
}
inline std::string summaries_overlap(std::int64_t a, std::int64_t b, std::int64_t permutation) {
    return "Null summaries " + std::to_string(a) + " and " + std::to_string(b) + " both hold permutation " +
           std::to_string(permutation) + ": merge each range of permutations once.";
}
inline std::string summaries_miss(std::int64_t first, std::int64_t last) {
    return "The null summaries miss permutations " + std::to_string(first) + " to " + std::to_string(last) +
           ": run that range and merge its summary too.";
}
inline std::string summary_not_one(const std::string& which, const std::string& expected) {
    return which + " is not a tivarne null summary (no \"" + expected +
           "\" where expected): give the files the shards wrote, unchanged.";
}
inline std::string summary_version(const std::string& which, const std::string& version) {
    return which + " is of a format this version does not read (version " + version + ").";
}
// `what`: "its header does not read", "threshold 3 does not read", ...
inline std::string summary_damaged(const std::string& which, const std::string& what) {
    return which + " is damaged (" + what + "): give the files the shards wrote, unchanged.";
}

// --- The result file ------------------------------------------------------
constexpr char kCannotOpenOutput[] = "Cannot open the output file.";
constexpr char kCannotWriteOutput[] = "Cannot write the output file.";

// --- Failures of any step -------------------------------------------------
constexpr char kAllocation[] = "Aborted due to allocation error.";
constexpr char kCancelled[] = "Analysis cancelled.";
constexpr char kIndexOutOfRange[] = "Internal error: index out of range";
constexpr char kMedianOfNothing[] = "Internal error: median of no values";
// sort2's stack of 64 entries holds any 32-bit count: never seen.
constexpr char kSortStack[] = "Internal error: NSTACK too small in sort2.";

// A fault of tivarne itself, described by `what`.
inline std::string internal_error(const std::string& what) { return "Internal error: " + what; }

// --- The bindings (Python and R) ------------------------------------------
constexpr char kOneLabelPerSample[] = "one label per sample is needed";

// --- The command line -----------------------------------------------------
constexpr char kErrorPrefix[] = "Error: ";
constexpr char kWrongArgumentCount[] = "Wrong number of arguments.";
constexpr char kSpecifyExpression[] = "Specify \"-e filenameE\"";
constexpr char kSpecifyLabels[] = "Specify \"-l filenameL\"";
constexpr char kSpecifyOutput[] = "Specify \"-o filenameO\"";
constexpr char kOutputIsInput[] = "The output file must not be an input file.";
constexpr char kAnswerInput[] = "Aborted due to input error.";

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
