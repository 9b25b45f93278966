#include <iostream>

#include "driver/cli.h"
#include "driver/process_setup.h"
#include "driver/run.h"

int main(int argc, char** argv) {
    tivarne::prepare_process();
    tivarne::RunSettings settings;
    if (auto status = tivarne::parse_command_line(argc, argv, settings)) return *status;
    return tivarne::run(settings, std::cin);
}
