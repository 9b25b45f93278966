#pragma once
// The command line's files: the expression and label files it reads and the
// result file it writes, with the command line's own checks and messages.
#include <cstdint>
#include <memory>
#include <string>

#include "tivarne/export.h"
#include "tivarne/tivarne.h"

namespace tivarne {

// The sizes of a study.
struct Sizes {
    std::int32_t genes = 0;
    std::int32_t samples = 0;
    std::int32_t class1 = 0;  // samples labelled 1
    std::int32_t class2 = 0;  // samples labelled 0
};

// The size scan: checks the layout of the label file (one line of labels 0
// and 1 with single separators) and counts its samples per class, then counts
// the lines of the expression file (a line longer than 31 * samples + 1
// characters counts once per piece of that length). Throws Error (kind Input)
// with the command line's message on any failure.
TIVARNE_API Sizes scan_sizes(const std::string& label_file, const std::string& expression_file);

// An expression file and a label file loaded as the command line loads them.
class TIVARNE_API Dataset {
public:
    // Room for the data of a scan's sizes; Error (kind Memory) when it does
    // not fit. The values are filled by read_expression, the labels by
    // read_labels.
    explicit Dataset(const Sizes& sizes);
    ~Dataset();
    Dataset(Dataset&&) noexcept;
    Dataset& operator=(Dataset&&) noexcept;

    // Reads `samples` finite numbers per line, one line per gene; only white
    // space may follow the last. `progress` sees the values read (phase
    // Loading). The lines are read on `threads` threads (0: OpenMP's
    // default, as Options::threads); the result does not depend on it.
    void read_expression(const std::string& expression_file,
                         const ProgressCallback& progress = {}, int threads = 0);
    // Reads the labels; only 0 and 1 are accepted.
    void read_labels(const std::string& label_file);

    const Sizes& sizes() const;
    double value(std::int32_t gene, std::int32_t sample) const;  // checked
    std::int32_t label(std::int32_t sample) const;                // checked
    // The loaded data, for analyse(); valid as long as the Dataset lives.
    DataView view() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// scan_sizes, the gene limit, read_expression and read_labels in one call.
TIVARNE_API Dataset load_dataset(const std::string& expression_file, const std::string& label_file);

// The result file, written as the selection goes: the banner and the settings
// when it is opened ("w"), then each row appended on its own ("a"), so that
// the file on disk is complete up to the last row at any moment. A write or
// close that fails cuts the file back to its complete lines and throws Error
// (kind Output) "Cannot write the output file."; a file that cannot be
// opened throws "Cannot open the output file.".
class TIVARNE_API ResultFile {
public:
    ResultFile(const std::string& path, const Criteria& criteria);
    // Appends the row of `pair` as row number rows() + 1 (the column header
    // before the first row).
    void add(const SelectedPair& pair);
    // Ends the file: the no-pairs line when no row was added.
    void finish();
    int rows() const { return rows_; }

private:
    std::string path_;
    int rows_ = 0;
};

}  // namespace tivarne
