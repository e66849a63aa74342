#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace droskal::cli {

enum ExitStatus : int {
    kExitOk = 0,
    kExitPartial = 1,  // some pictures (or points) were skipped
    kExitUsage = 2,    // usage error, or a file that cannot be opened or written
};

struct Io {
    std::ostream& out;
    std::ostream& err;
    bool progress = false;  // the error stream is a terminal
};

// args: everything after the program name.
int RunCli(const std::vector<std::string>& args, const Io& io);

// args: everything after the command's name.
int RunFrames(const std::vector<std::string>& args, const Io& io);
int RunInfo(const std::vector<std::string>& args, const Io& io);
int RunTrack(const std::vector<std::string>& args, const Io& io);
int RunCut(const std::vector<std::string>& args, const Io& io);
int RunBench(const std::vector<std::string>& args, const Io& io);
int RunMap(const std::vector<std::string>& args, const Io& io);
int RunTrips(const std::vector<std::string>& args, const Io& io);
int RunEvidence(const std::vector<std::string>& args, const Io& io);
int RunIndex(const std::vector<std::string>& args, const Io& io);

}  // namespace droskal::cli
