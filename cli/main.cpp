#include <unistd.h>

#include <iostream>

#include "cli/Commands.h"

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    const std::vector<std::string> args(argv + 1, argv + argc);
    const droskal::cli::Io io{std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1};
    const int status = droskal::cli::RunCli(args, io);
    std::cout.flush();
    return std::cout ? status : droskal::cli::kExitUsage;
}
