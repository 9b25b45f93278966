#include "driver/run.h"

#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <iostream>
#include <memory>
#include <new>
#include <optional>

#include "core/messages.h"
#include "driver/console.h"
#include "driver/progress.h"
#include "driver/timing.h"
#include "tivarne/io.h"

namespace tivarne {
namespace {

[[noreturn]] void fatal(const char* message) { throw Error(Error::Kind::Input, message); }

bool same_file(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

// The library's progress on the console: a live line on a terminal for the
// long phases, and a timing line per phase with TIVARNE_TIMING=1.
class ConsoleProgress {
public:
    explicit ConsoleProgress(PhaseTimer& timer) : timer_(timer) {}

    bool operator()(const ProgressUpdate& u) {
        if (u.finished) {
            line_.reset();
            if (const char* name = timing_name(u.phase)) timer_.lap(name);
            return true;
        }
        if (!line_) {
            if (const Shown* shown = shown_as(u.phase))
                line_ = std::make_unique<Progress>(shown->text, u.total, shown->unit,
                                                   u.phase == Phase::Selecting);
        }
        if (line_) line_->set(u.done);
        return true;
    }

private:
    struct Shown {
        const char* text;
        const char* unit;
    };
    static const Shown* shown_as(Phase phase) {
        static constexpr Shown kLoading{"reading expressions", "values"};
        static constexpr Shown kScoring{"scoring pairs", "pairs"};
        static constexpr Shown kSelecting{"selecting pairs", "ranks"};
        switch (phase) {
            case Phase::Loading:
                return &kLoading;
            case Phase::Scoring:
                return &kScoring;
            case Phase::Selecting:
                return &kSelecting;
            default:
                return nullptr;
        }
    }
    // Loading is timed with the whole load (expressions and labels) by the run.
    static const char* timing_name(Phase phase) {
        switch (phase) {
            case Phase::PerGene:
                return "per-gene";
            case Phase::Scoring:
                return "scoring";
            case Phase::Ranking:
                return "ranking";
            case Phase::Selecting:
                return "walk";
            default:
                return nullptr;
        }
    }

    PhaseTimer& timer_;
    std::unique_ptr<Progress> line_;
};

int run_phases(RunSettings& settings, std::istream& answers, Engine engine) {
    // The streams stay open, unread, until the run ends.
    std::ifstream expression_stream(settings.expression_file);
    if (!expression_stream.is_open()) {
        std::cerr << message::error_line(message::file_not_found(settings.expression_file)) << "\n";
        return 1;
    }
    std::ifstream label_stream(settings.label_file);
    if (!label_stream.is_open()) {
        std::cerr << message::error_line(message::file_not_found(settings.label_file)) << "\n";
        return 1;
    }
    // Truncating an input to write the results would destroy the data.
    if (same_file(settings.output_file, settings.expression_file) ||
        same_file(settings.output_file, settings.label_file))
        fatal(message::kOutputIsInput);

    std::cout << "significant level for gene pairs to be selected: " << std::flush;
    if (!(answers >> settings.significant_level)) fatal(message::kAnswerInput);
    std::cout << "number of gene pairs to be output: " << std::flush;
    if (!(answers >> settings.max_pairs)) fatal(message::kAnswerInput);

    std::cout << "check the files...\n"
              << "expression: " << settings.expression_file << "\n"
              << "label     : " << settings.label_file << "\n"
              << "output    : " << settings.output_file << "\n";

    PhaseTimer timer;
    ConsoleProgress console(timer);
    const ProgressCallback progress = std::ref(console);
    std::cout << "check the size of the data...\n";
    const Sizes sizes = scan_sizes(settings.label_file, settings.expression_file);
    std::cout << "#genes: " << sizes.genes << "\n"
              << "n     : " << sizes.samples << "\n"
              << "n1,n2 : " << sizes.class1 << " " << sizes.class2 << "\n";
    if (sizes.genes > kMaxGenes) fatal(message::kTooManyGenes);

    std::cout << "read expressions...\n";
    Dataset data(sizes);
    data.read_expression(settings.expression_file, progress);
    std::cout << "read labels...\n";
    data.read_labels(settings.label_file);
    echo_data(data);
    timer.lap("load");

    const Criteria given{settings.significant_level, settings.max_pairs};
    std::optional<ResultFile> out;
    Options options;
    // Classes of one or two samples are run as given; a note says what their
    // numbers are worth.
    options.min_class_size = 0;
    options.testing.engine = engine;
    options.progress = progress;
    // TIVARNE_PAIR_TABLE=1 ranks the table of all pairs even where the
    // scoring pass alone would do: the same output, for comparisons.
    const char* table = std::getenv("TIVARNE_PAIR_TABLE");
    options.testing.pair_table = table && std::strcmp(table, "1") == 0;
    options.on_listings = [&](const Listings& listings) {
        print_pair_listing(listings.first_pairs);
        print_ranking_listing(listings.top_pairs);
        out.emplace(settings.output_file, given);
    };
    options.on_selected = [&](const SelectedPair& pair) { out->add(pair); };
    print_pair_listing_header();
    const Result result = analyse(data.view(), given, options);

    if (result.without_p_value > 0)
        std::fprintf(stderr, "%s\n",
                     message::note_without_p_value(static_cast<long long>(result.without_p_value)).c_str());
    if (result.pairs > 0) {
        const std::int32_t sizes_by_class[2] = {result.class1, result.class2};
        for (int c = 0; c < 2; ++c)
            if (sizes_by_class[c] < 3)
                std::fprintf(stderr, "%s\n",
                             message::note_small_class(c + 1, static_cast<int>(sizes_by_class[c])).c_str());
    }
    if (out->rows() > 0) {
        std::printf("\nresult was output in the output file.\n");
        std::fflush(stdout);
    } else {
        out->finish();
    }
    return 0;
}

}  // namespace

int run(RunSettings& settings, std::istream& answers, Engine engine) {
    std::string message;
    try {
        return run_phases(settings, answers, engine);
    } catch (const Error& e) {
        message = e.what();
    } catch (const std::bad_alloc&) {
        message = message::kAllocation;
    } catch (const std::exception& e) {
        message = message::internal_error(e.what());
    }
    std::cout.flush();
    std::cerr << message::error_line(message) << "\n";
    return 1;
}

}  // namespace tivarne
