#include <unistd.h>

#include <csignal>
#include <iostream>

#include "cli/Commands.h"

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    // A reader that goes away (droskal-cli ... | head) is a write error with a message, not a
    // silent death by signal.
    std::signal(SIGPIPE, SIG_IGN);
    const std::vector<std::string> args(argv + 1, argv + argc);
    const droskal::cli::Io io{std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1};
    const int status = droskal::cli::RunCli(args, io);
    std::cout.flush();
    if (std::cout) return status;
    std::cerr << "droskal-cli: cannot write to standard output\n";
    return droskal::cli::kExitUsage;
}
