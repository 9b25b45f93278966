// tivarne._core: the library's analyse() for Python. A thin layer: it takes a
// float64 matrix and int32 labels that tivarne/_analysis.py has prepared and
// checked (with gene and sample names in its messages), runs the analysis
// without the GIL on a view of the caller's memory, and hands the selected
// pairs back as NumPy arrays. The library checks the data again.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cstdint>
#include <type_traits>
#include <exception>
#include <initializer_list>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "core/messages.h"
#include "tivarne/tivarne.h"

namespace py = pybind11;

namespace {

[[noreturn]] void raise(PyObject* type, const std::string& message) {
    PyErr_SetString(type, message.c_str());
    throw py::error_already_set();
}

// Raises the Python exception for a failure of analyse(). A stop asked for by
// the progress callback re-raises the Python exception that caused it (the
// KeyboardInterrupt of Ctrl-C, or an error of the progress bar).
[[noreturn]] void raise_failure(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const tivarne::Error& e) {
        const std::string message = e.what();
        switch (e.kind()) {
            case tivarne::Error::Kind::Input:
                raise(PyExc_ValueError, message);
            case tivarne::Error::Kind::Memory:
                raise(PyExc_MemoryError, message);
            case tivarne::Error::Kind::Cancelled:
                if (PyErr_Occurred()) throw py::error_already_set();
                raise(PyExc_KeyboardInterrupt, message);
            default:
                raise(PyExc_RuntimeError, message);
        }
    } catch (const std::bad_alloc&) {
        raise(PyExc_MemoryError, tivarne::message::kAllocation);
    } catch (const std::exception& e) {
        raise(PyExc_RuntimeError, tivarne::message::internal_error(e.what()));
    }
}

template <class Enum>
Enum choice(const std::string& given, const char* what,
            std::initializer_list<std::pair<const char*, Enum>> choices) {
    for (const auto& c : choices)
        if (given == c.first) return c.second;
    raise(PyExc_ValueError, std::string("unknown ") + what + " '" + given + "'");
}

// The phase as the progress report names it.
const char* phase_name(tivarne::Phase phase) {
    switch (phase) {
        case tivarne::Phase::Loading:
            return "loading";
        case tivarne::Phase::PerGene:
            return "per_gene";
        case tivarne::Phase::Scoring:
            return "scoring";
        case tivarne::Phase::Ranking:
            return "ranking";
        case tivarne::Phase::Selecting:
            return "selecting";
    }
    return "unknown";
}

template <class T>
py::array_t<T> column(const std::vector<tivarne::SelectedPair>& pairs, T tivarne::SelectedPair::*member) {
    py::array_t<T> out(static_cast<py::ssize_t>(pairs.size()));
    T* p = out.mutable_data();
    for (const tivarne::SelectedPair& pair : pairs) *p++ = pair.*member;
    return out;
}

template <class T>
py::array_t<T> int_array(const std::vector<T>& v) {
    py::array_t<T> out(static_cast<py::ssize_t>(v.size()));
    std::copy(v.begin(), v.end(), out.mutable_data());
    return out;
}

py::dict gene_table(const std::vector<tivarne::GeneSummary>& rows) {
    using G = tivarne::GeneSummary;
    auto col = [&rows](auto member) {
        using T = std::decay_t<decltype(rows[0].*member)>;
        std::vector<T> v;
        for (const G& g : rows) v.push_back(g.*member);
        return int_array(v);
    };
    py::dict t;
    t["gene"] = col(&G::gene);
    t["degree"] = col(&G::degree);
    t["tested"] = col(&G::tested);
    t["expected"] = col(&G::expected);
    t["stronger_in_class1"] = col(&G::stronger_in_class1);
    t["stronger_in_class2"] = col(&G::stronger_in_class2);
    t["sign_changes"] = col(&G::sign_changes);
    t["p_value"] = col(&G::p_value);
    t["q_value"] = col(&G::q_value);
    return t;
}

py::dict histogram_dict(const tivarne::Histograms& h) {
    py::dict d;
    d["score_width"] = h.score_width;
    d["scores"] = int_array(h.scores);
    d["nan_scores"] = h.nan_scores;
    d["log10_p_width"] = h.log10_p_width;
    d["log10_p"] = int_array(h.log10_p);
    d["p_below"] = h.p_below;
    d["with_p_value"] = h.with_p_value;
    return d;
}

// values: genes x samples float64 whose strides are whole elements; labels:
// one int32 per sample, 1 = class 1, 0 = class 2. report: None, or called as
// report(phase, done, total, finished) with the GIL held on every progress
// update of the library; phase is its name ("per_gene", "scoring", "ranking",
// "selecting").
py::dict analyse(const py::array& values, const py::array_t<std::int32_t, py::array::c_style>& labels,
                 double level, std::int32_t max_pairs, int threads, const std::string& adjust,
                 const std::string& order, const std::string& engine, std::int32_t min_class_size,
                 const py::object& report, bool gene_summary, bool histograms,
                 const std::vector<std::int32_t>& focus_genes, bool focus_within,
                 const std::vector<std::pair<std::int32_t, std::int32_t>>& focus_pairs, double class_level) {
    if (values.ndim() != 2 || !values.dtype().is(py::dtype::of<double>()))
        raise(PyExc_TypeError, "the expression values must be a 2-D float64 array");
    const auto item = static_cast<py::ssize_t>(sizeof(double));
    if (values.strides(0) % item != 0 || values.strides(1) % item != 0)
        raise(PyExc_ValueError, "the expression array's strides must be whole elements");
    if (values.shape(0) > tivarne::kMaxGenes || values.shape(1) > INT32_MAX)
        raise(PyExc_ValueError, tivarne::message::kTooManyGenes);
    if (labels.ndim() != 1 || labels.shape(0) != values.shape(1))
        raise(PyExc_ValueError, tivarne::message::kOneLabelPerSample);

    tivarne::DataView view;
    view.values = static_cast<const double*>(values.data());
    view.genes = static_cast<std::int32_t>(values.shape(0));
    view.samples = static_cast<std::int32_t>(values.shape(1));
    view.gene_stride = values.strides(0) / item;
    view.sample_stride = values.strides(1) / item;
    view.labels = labels.data();

    const tivarne::Criteria criteria{level, max_pairs};
    tivarne::Options options;
    options.threads = threads;
    options.adjust = choice<tivarne::Adjust>(adjust, "adjustment",
                                             {{"none", tivarne::Adjust::None}, {"BH", tivarne::Adjust::BH}});
    options.order = choice<tivarne::Order>(order, "order",
                                           {{"score", tivarne::Order::Score}, {"p_value", tivarne::Order::PValue}});
    options.min_class_size = min_class_size;
    options.gene_summary = gene_summary;
    options.histograms = histograms;
    options.focus_genes = focus_genes;
    options.focus_within = focus_within;
    options.focus_pairs = focus_pairs;
    options.testing.engine = choice<tivarne::Engine>(
        engine, "engine", {{"fast", tivarne::Engine::Fast}, {"straightforward", tivarne::Engine::Straightforward}});
    // Called on this thread only: take the GIL, let Python run its signal
    // handlers (Ctrl-C raises KeyboardInterrupt here), update the bar. A
    // Python exception stops the analysis and stays set for the caller.
    options.progress = [&report](const tivarne::ProgressUpdate& u) {
        py::gil_scoped_acquire gil;
        if (PyErr_CheckSignals() != 0) return false;
        if (report.is_none()) return true;
        try {
            report(phase_name(u.phase), u.done, u.total, u.finished);
        } catch (py::error_already_set& e) {
            e.restore();
            return false;
        } catch (...) {
            PyErr_SetString(PyExc_RuntimeError, "the progress report failed");
            return false;
        }
        return true;
    };

    tivarne::Result result;
    std::exception_ptr failure;
    {
        py::gil_scoped_release release;
        try {
            result = tivarne::analyse(view, criteria, options);
        } catch (...) {
            failure = std::current_exception();
        }
    }
    if (failure) raise_failure(failure);

    using P = tivarne::SelectedPair;
    const std::vector<P>& s = result.selected;
    py::dict out;
    out["gene_x"] = column<std::int32_t>(s, &P::gene_x);
    out["gene_y"] = column<std::int32_t>(s, &P::gene_y);
    out["score"] = column<double>(s, &P::score);
    out["r1"] = column<double>(s, &P::r1);
    out["r2"] = column<double>(s, &P::r2);
    out["c"] = column<double>(s, &P::c);
    out["p_value"] = column<double>(s, &P::p_value);
    out["log10_p"] = column<double>(s, &P::log10_p);
    out["q_value"] = column<double>(s, &P::q_value);
    out["genes"] = result.genes;
    out["samples"] = result.samples;
    out["class1"] = result.class1;
    out["class2"] = result.class2;
    out["pairs"] = result.pairs;
    out["without_p_value"] = result.without_p_value;
    out["tested"] = result.tested;
    out["used_pair_table"] = result.used_pair_table;
    py::list classes;
    for (const P& pair : s)
        classes.append(tivarne::correlation_class(pair.r1, pair.r2, result.class1, result.class2, class_level));
    out["dc_class"] = classes;
    if (gene_summary) out["gene_table"] = gene_table(result.gene_summary);
    if (histograms) out["histograms"] = histogram_dict(result.histograms);
    out["considered"] = result.considered;
    out["passing"] = result.passing;
    out["p_threshold"] = result.p_threshold;
    return out;
}

}  // namespace

PYBIND11_MODULE(_core, m) {
    m.doc() = "The tivarne library's analysis; use tivarne.analyse().";
    m.attr("MAX_GENES") = tivarne::kMaxGenes;
    m.attr("__version__") = tivarne::version();
    m.def("analyse", &analyse, py::arg("values"), py::arg("labels"), py::arg("level"),
          py::arg("max_pairs"), py::arg("threads"), py::arg("adjust"), py::arg("order"),
          py::arg("engine"), py::arg("min_class_size"), py::arg("report"), py::arg("gene_summary") = false,
          py::arg("histograms") = false, py::arg("focus_genes") = std::vector<std::int32_t>(),
          py::arg("focus_within") = false,
          py::arg("focus_pairs") = std::vector<std::pair<std::int32_t, std::int32_t>>(),
          py::arg("class_level") = 0.05);
    m.def("correlation_p_value", &tivarne::correlation_p_value, py::arg("r"), py::arg("n"),
          "Two-sided p-value of Student's t with n - 2 degrees of freedom for a correlation r.");
}
