#pragma once
#include <cstdint>
#include <string>

namespace tivarne {

// What the command line and the two prompts give a run.
struct RunSettings {
    std::string expression_file;
    std::string label_file;
    std::string output_file;
    double significant_level = 0;
    std::int32_t max_pairs = 0;
};

}  // namespace tivarne
