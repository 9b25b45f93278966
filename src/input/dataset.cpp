// The command line's input files as a data set for the analysis.
#include <new>

#include "core/containers.h"
#include "core/error.h"
#include "input/loaders.h"
#include "tivarne/io.h"

namespace tivarne {

struct Dataset::Impl {
    Sizes sizes;
    ExpressionMatrix expression;  // samples x genes, row-major
    boost::numeric::ublas::vector<std::int32_t> labels;
};

namespace {

// Runs `step`, reporting a failed allocation as the library's Memory error.
template <class Step>
void allocating(Step&& step) {
    try {
        step();
    } catch (const std::bad_alloc&) {
        fail(Error::Kind::Memory, message::kAllocation);
    }
}

}  // namespace

Dataset::Dataset(const Sizes& sizes) : impl_(std::make_unique<Impl>()) {
    impl_->sizes = sizes;
    allocating([&] {
        impl_->expression.resize(sizes.samples, sizes.genes, false);
        impl_->labels.resize(sizes.samples, false);
    });
}

Dataset::~Dataset() = default;
Dataset::Dataset(Dataset&&) noexcept = default;
Dataset& Dataset::operator=(Dataset&&) noexcept = default;

void Dataset::read_expression(const std::string& expression_file, const ProgressCallback& progress,
                              int threads) {
    ProgressReporter reporter(progress);
    const Context context{thread_count(threads), reporter};
    allocating([&] { tivarne::read_expression(impl_->expression, expression_file.c_str(), context); });
}

void Dataset::read_labels(const std::string& label_file) {
    LabelVector labels(impl_->labels.size());
    tivarne::read_label(labels, label_file.c_str());
    for (std::size_t j = 0; j < labels.size(); ++j) impl_->labels(j) = labels(j);
}

const Sizes& Dataset::sizes() const { return impl_->sizes; }

double Dataset::value(std::int32_t gene, std::int32_t sample) const {
    if (gene < 0 || sample < 0) index_out_of_range();
    try {
        return impl_->expression(sample, gene);
    } catch (const std::out_of_range&) {
        index_out_of_range();
    }
}

std::int32_t Dataset::label(std::int32_t sample) const {
    if (sample < 0) index_out_of_range();
    try {
        return impl_->labels(sample);
    } catch (const std::out_of_range&) {
        index_out_of_range();
    }
}

DataView Dataset::view() const {
    DataView v;
    v.values = impl_->expression.data().begin();
    v.genes = impl_->sizes.genes;
    v.samples = impl_->sizes.samples;
    v.gene_stride = 1;
    v.sample_stride = impl_->sizes.genes;
    v.labels = impl_->labels.data().begin();
    return v;
}

Dataset load_dataset(const std::string& expression_file, const std::string& label_file) {
    const Sizes sizes = scan_sizes(label_file, expression_file);
    if (sizes.genes > kMaxGenes) input_error(message::kTooManyGenes);
    Dataset data(sizes);
    data.read_expression(expression_file);
    data.read_labels(label_file);
    return data;
}

}  // namespace tivarne
