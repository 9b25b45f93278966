// The library as its callers use it: data views of any layout, the checks of
// the input, progress and cancellation, streaming, files, and two analyses
// at once in one process.

#include <stdexcept>
#include <thread>

#include "support/test_support.h"
#include "tivarne/io.h"

namespace tivarne {
namespace {

TEST(DataViews, EveryLayoutGivesTheSameResult) {
    const test::Study study(57, 7, 9, 3);
    const Criteria answers{0.2, 30};
    const std::string want = test::fingerprint(analyse(study.view(), answers));
    // Column-major (genes down a column), and rows padded to a longer stride.
    std::vector<double> by_sample(study.values.size()), padded(study.genes * (study.samples + 3), -1.0);
    for (int g = 0; g < study.genes; ++g)
        for (int j = 0; j < study.samples; ++j) {
            by_sample[static_cast<std::size_t>(j) * study.genes + g] = study.values[g * study.samples + j];
            padded[static_cast<std::size_t>(g) * (study.samples + 3) + j] = study.values[g * study.samples + j];
        }
    for (const DataView& view : {DataView{by_sample.data(), study.genes, study.samples, 1, study.genes,
                                          study.labels.data()},
                                 DataView{padded.data(), study.genes, study.samples, study.samples + 3, 1,
                                          study.labels.data()}})
        EXPECT_EQ(test::fingerprint(analyse(view, answers)), want);
}

TEST(DataViews, UnusableInputIsRefusedWithItsReason) {
    test::Study study(4, 2, 2, 1);
    DataView view = study.view();
    study.at(2, 3) = std::numeric_limits<double>::infinity();
    EXPECT_ERROR(analyse(view, {}), "Invalid data in expressions (gene 3, sample 4: not a finite number).");
    study.at(2, 3) = std::nan("");
    EXPECT_ERROR(analyse(view, {}), "Invalid data in expressions (gene 3, sample 4: not a finite number).");
    study.at(2, 3) = 1;
    study.labels[1] = 2;
    EXPECT_ERROR(analyse(view, {}), "Invalid data in labels");
    study.labels = {1, 1, 1, 1};
    EXPECT_ERROR(analyse(view, {}), "Each class needs at least one sample (label data).");
    view.genes = kMaxGenes + 1;
    EXPECT_ERROR(analyse(view, {}), "Too many genes (at most 46341).");
    view.genes = -1;
    EXPECT_ERROR(analyse(view, {}), "Invalid sizes of the data.");
    try {
        analyse(view, {});
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), Error::Kind::Input);
    }
}

TEST(Progress, PhasesInOrderOnTheCallingThreadAndAStopOnRequest) {
    const test::Study study(300, 10, 10, 5);
    std::vector<Phase> begun;
    const std::thread::id caller = std::this_thread::get_id();
    bool elsewhere = false;
    Options options;
    options.progress = [&](const ProgressUpdate& u) {
        elsewhere |= std::this_thread::get_id() != caller;
        if (begun.empty() || begun.back() != u.phase) begun.push_back(u.phase);
        EXPECT_LE(u.done, u.total);
        return true;
    };
    analyse(study.view(), {0.05, 10}, options);
    EXPECT_FALSE(elsewhere);
    EXPECT_EQ(begun, (std::vector<Phase>{Phase::PerGene, Phase::Scoring, Phase::Ranking, Phase::Selecting}));

    for (Engine engine : {Engine::Fast, Engine::Straightforward}) {
        options.testing.engine = engine;
        options.progress = [](const ProgressUpdate& u) { return u.phase != Phase::Scoring; };
        try {
            analyse(study.view(), {0.05, 10}, options);
            ADD_FAILURE() << "not cancelled";
        } catch (const Error& e) {
            EXPECT_EQ(e.kind(), Error::Kind::Cancelled);
            EXPECT_STREQ(e.what(), "Analysis cancelled.");
        }
    }
}

TEST(Streaming, SelectedPairsReachTheCallbackInRankOrderAfterTheListings) {
    const test::Study study(80, 8, 8, 9);
    const Criteria answers{0.5, 25};
    Options listed;
    listed.listings = true;
    const Result whole = analyse(study.view(), answers, listed);
    ASSERT_EQ(whole.selected.size(), 25u);
    std::vector<SelectedPair> streamed;
    int listings = 0;
    Options options;
    options.on_listings = [&](const Listings& l) {
        EXPECT_TRUE(streamed.empty());
        EXPECT_EQ(l.top_pairs.size(), 100u);
        ++listings;
    };
    options.on_selected = [&](const SelectedPair& p) { streamed.push_back(p); };
    const Result streaming = analyse(study.view(), answers, options);
    EXPECT_EQ(listings, 1);
    EXPECT_TRUE(streaming.selected.empty());
    Result rebuilt = streaming;
    rebuilt.selected = streamed;
    EXPECT_EQ(test::fingerprint(rebuilt), test::fingerprint(whole));
    // The callback's own exception reaches the caller unchanged.
    options.on_listings = nullptr;
    options.on_selected = [](const SelectedPair&) { throw std::logic_error("disk full"); };
    EXPECT_THROW(analyse(study.view(), answers, options), std::logic_error);
}

TEST(Concurrency, TwoAnalysesAtOnceInOneProcess) {
    const test::Study a(400, 12, 9, 21), b(350, 5, 16, 22);
    const auto run_a = [&] { return test::fingerprint(analyse(a.view(), {0.01, 50})); };
    const auto run_b = [&] { return test::fingerprint(analyse(b.view(), {0.3, 200})); };
    std::string got_a, got_b;
    std::thread first([&] { got_a = run_a(); }), second([&] { got_b = run_b(); });
    first.join();
    second.join();
    EXPECT_EQ(got_a, run_a());
    EXPECT_EQ(got_b, run_b());
}

TEST(Files, TheCommandLinesFilesLoadIntoAView) {
    test::ScratchDir dir;
    const std::string expr = dir.write("expr.txt", "1 2 3 4.5\n2 4 6 9\n0.5 -1 1e1 7\n");
    const std::string labels = dir.write("labels.txt", "1 0 1 0\n");
    const Dataset data = load_dataset(expr, labels);
    EXPECT_EQ(data.sizes().genes, 3);
    EXPECT_EQ(data.value(2, 2), 10.0);
    EXPECT_EQ(data.label(1), 0);
    EXPECT_ERROR(data.value(3, 0), "Internal error: index out of range");
    EXPECT_ERROR(analyse(data.view(), {1, 10}),
                 "Class 1 has 2 samples; each class needs at least 3 for its correlations to mean anything.");
    Options any_size;
    any_size.min_class_size = 0;
    const Result r = analyse(data.view(), {1, 10}, any_size);
    EXPECT_EQ(r.class1, 2);
    EXPECT_EQ(r.pairs, 3);
    EXPECT_ERROR(load_dataset(expr, dir.write("bad.txt", "11 0 0\n")), "Invalid format in label data.");
    // The gene limit: kMaxGenes load, one more is refused.
    std::string lines;
    for (int g = 0; g < kMaxGenes; ++g) lines += "1 2\n";
    const std::string pair_labels = dir.write("pair.txt", "1 0\n");
    EXPECT_EQ(load_dataset(dir.write("most.txt", lines), pair_labels).sizes().genes, 46341);
    EXPECT_ERROR(load_dataset(dir.write("more.txt", lines + "1 2\n"), pair_labels),
                 "Too many genes (at most 46341).");
}

}  // namespace
}  // namespace tivarne
