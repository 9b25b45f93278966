// Fuzzes whole runs, in-process, with both pair engines. The input: the prompt answers, '|', the
// label file, '|', the expression file (a missing part is empty), kept small (a label file of at
// most 32 bytes, an expression file of at most 1500 bytes and 40 lines) so that runs stay fast.
//
// Findings, besides sanitizer reports: the two engines differ in exit status, console, standard
// error or result file; an unforeseen failure ("Internal error"); a failure that is not exactly
// one "Error: " line; a success whose standard error holds anything but "Note: " lines (at most
// three: pairs without a p-value, and a small class for each class); a result
// file left by a failed run (the output location is writable, so nothing may be written) or
// missing after a successful one; an input file that changed; the library's adjusted selection
// and p-value order differing from the plain computation.
#include <omp.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>

#include "driver/run.h"
#include "tivarne/io.h"
#include "fuzz_support.h"

using namespace tivarne;

namespace {

struct Outcome {
    int status = 0;
    std::string out, err, result;
    bool has_result = false;
};

Outcome run_once(const fuzz::Scratch& scratch, const std::string& answers, Engine engine) {
    RunSettings settings;
    settings.expression_file = scratch.path("expr.txt");
    settings.label_file = scratch.path("labels.txt");
    settings.output_file = scratch.path("result.tsv");
    std::remove(settings.output_file.c_str());
    std::istringstream in(answers);
    Outcome o;
    {
        fuzz::Capture capture(scratch.path("stdout"), scratch.path("stderr"));
        o.status = run(settings, in, engine);
    }
    o.out = fuzz::read_file(scratch.path("stdout"));
    o.err = fuzz::read_file(scratch.path("stderr"));
    o.has_result = fuzz::exists(settings.output_file);
    if (o.has_result) o.result = fuzz::read_file(settings.output_file);
    return o;
}

std::size_t count_of(const std::string& s, char c) {
    std::size_t k = 0;
    for (char x : s) k += x == c;
    return k;
}

// Empty, or one to three complete lines that each start with "Note: ".
bool notes_only(const std::string& err) {
    if (err.empty()) return true;
    if (err.back() != '\n' || count_of(err, '\n') > 3) return false;
    for (std::size_t at = 0; at < err.size(); at = err.find('\n', at) + 1)
        if (err.compare(at, 6, "Note: ") != 0) return false;
    return true;
}

void check_outcome(const Outcome& o, const char* engine) {
    const std::string who = std::string(engine) + " engine: ";
    if (o.status == 1) {
        if (o.err.rfind("Error: ", 0) != 0 || count_of(o.err, '\n') != 1 || o.err.back() != '\n')
            fuzz::finding(who + "a failure must be one \"Error: \" line, got: " + o.err);
        if (o.err.rfind("Error: Internal error", 0) == 0) fuzz::finding(who + o.err);
        if (o.has_result) fuzz::finding(who + "a failed run left a result file");
    } else if (o.status == 0) {
        if (!notes_only(o.err)) fuzz::finding(who + "unexpected standard error on success: " + o.err);
        if (!o.has_result || o.result.rfind("Results of TIVARNE:\n", 0) != 0)
            fuzz::finding(who + "a successful run without a result file");
    } else {
        fuzz::finding(who + "exit status " + std::to_string(o.status));
    }
}

// The library's false discovery rate and p-value order, fast against the
// plain computation over every pair's p-value, on the same files.
void compare_adjusted(const fuzz::Scratch& scratch, const std::string& answers) {
    std::istringstream in(answers);
    Criteria a;
    if (!(in >> a.level >> a.max_pairs)) return;
    const Dataset data = load_dataset(scratch.path("expr.txt"), scratch.path("labels.txt"));
    for (const auto& [adjust, order] : {std::pair(Adjust::BH, Order::Score), std::pair(Adjust::BH, Order::PValue),
                                        std::pair(Adjust::None, Order::PValue)})
        // By default the first pass keeps every pair of a small input; with
        // room for few, the cut, the selection and the q-values come from
        // further passes.
        for (const std::int64_t max_exact : {std::int64_t{1} << 25, std::int64_t{20000}}) {
            Options fast, plain;
            fast.adjust = plain.adjust = adjust;
            fast.order = plain.order = order;
            fast.threads = plain.threads = 1;
            fast.min_class_size = plain.min_class_size = 0;
            fast.testing.max_exact = max_exact;
            plain.testing.pair_table = true;
            const Result x = analyse(data.view(), a, fast), y = analyse(data.view(), a, plain);
            bool same = x.without_p_value == y.without_p_value && x.tested == y.tested &&
                        x.selected.size() == y.selected.size();
            for (std::size_t k = 0; same && k < x.selected.size(); ++k) {
                const SelectedPair &p = x.selected[k], &q = y.selected[k];
                same = p.gene_x == q.gene_x && p.gene_y == q.gene_y &&
                       std::memcmp(&p.p_value, &q.p_value, sizeof(double)) == 0 &&
                       std::memcmp(&p.q_value, &q.q_value, sizeof(double)) == 0;
            }
            if (!same)
                fuzz::finding(adjust == Adjust::BH ? "BH: fast and plain differ" : "p order: fast and plain differ");
        }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    omp_set_num_threads(1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const fuzz::Scratch scratch;
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t bar1 = input.find('|');
    const std::size_t bar2 = bar1 == std::string::npos ? bar1 : input.find('|', bar1 + 1);
    const std::string answers = input.substr(0, bar1);
    const std::string labels =
        bar1 == std::string::npos ? "" : input.substr(bar1 + 1, bar2 == std::string::npos ? bar2 : bar2 - bar1 - 1);
    const std::string expression = bar2 == std::string::npos ? "" : input.substr(bar2 + 1);
    if (labels.size() > 32 || expression.size() > 1500 || count_of(expression, '\n') > 40) return 0;

    scratch.write("labels.txt", labels);
    scratch.write("expr.txt", expression);

    const Outcome plain = run_once(scratch, answers, Engine::Straightforward);
    const Outcome fast = run_once(scratch, answers, Engine::Fast);
    check_outcome(plain, "straightforward");
    check_outcome(fast, "fast");
    if (plain.status != fast.status) fuzz::finding("the engines differ in exit status");
    if (plain.out != fast.out) fuzz::finding("the engines differ on standard output");
    if (plain.err != fast.err) fuzz::finding("the engines differ on standard error");
    if (plain.has_result != fast.has_result || plain.result != fast.result)
        fuzz::finding("the engines differ in the result file");
    if (fuzz::read_file(scratch.path("labels.txt")) != labels ||
        fuzz::read_file(scratch.path("expr.txt")) != expression)
        fuzz::finding("an input file changed");
    if (plain.status == 0) compare_adjusted(scratch, answers);
    return 0;
}
