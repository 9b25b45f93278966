#include "driver/cli.h"

#include <unistd.h>

#include <iostream>

#include "core/messages.h"

namespace tivarne {
namespace {

void usage(const char* program) {
    std::cerr << "Usage: " << program << " [-h] -e filenameE -l filenameL -o filenameO\n";
}

}  // namespace

std::optional<int> parse_command_line(int argc, char** argv, RunSettings& settings) {
    const char* program = argc > 0 ? argv[0] : "tivarne";
    int opt;
    while ((opt = getopt(argc, argv, "he:l:o:")) != -1) {
        switch (opt) {
            case 'h':
                std::cerr << "HELP\n";
                usage(program);
                return 0;
            case 'e':
                settings.expression_file = optarg;
                break;
            case 'l':
                settings.label_file = optarg;
                break;
            case 'o':
                settings.output_file = optarg;
                break;
            default:  // getopt has written its own diagnostic
                usage(program);
                return 1;
        }
    }
    if (optind != argc) {
        std::cerr << message::error_line(message::kWrongArgumentCount) << "\n";
        usage(program);
        return 1;
    }
    std::cout << "# of arguments: " << argc - optind << "\n";

    const struct {
        const std::string& value;
        const char* text;
    } required[] = {
        {settings.expression_file, message::kSpecifyExpression},
        {settings.label_file, message::kSpecifyLabels},
        {settings.output_file, message::kSpecifyOutput},
    };
    for (const auto& r : required) {
        if (r.value.empty()) {
            std::cerr << message::error_line(r.text) << "\n";
            usage(program);
            return 1;
        }
    }
    return std::nullopt;
}

}  // namespace tivarne
