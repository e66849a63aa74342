// map and evidence in droskal-cli: handed over to droskal-cli-maps, the same commands built
// with Qt Gui (and, for the pack, the FFmpeg module). Loading Qt Gui's libraries costs about
// 10 ms of CPU at every start, as much as decoding a dozen pictures, and only these two
// commands draw; so droskal-cli itself starts without them.

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "cli/Commands.h"
#include "cli/ProgramParts.h"

namespace droskal::cli {

namespace {

int HandOver(const char* command, const std::vector<std::string>& args, const Io& io) {
    std::string error;
    const std::string program =
        FindProgramPart(DROSKAL_CLI_MAPS_FROM_BINDIR, DROSKAL_CLI_MAPS_IN_BUILD_TREE, error);
    if (!program.empty()) {
        std::vector<std::string> words{"droskal-cli", command};
        words.insert(words.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& w : words) argv.push_back(w.data());
        argv.push_back(nullptr);
        // What this process has written so far goes out before the other one writes.
        io.out.flush();
        io.err.flush();
        execv(program.c_str(), argv.data());
        error = "cannot start " + program + ": " + std::strerror(errno);
    }
    io.err << "droskal-cli " << command << ": " << error << "\n";
    return kExitUsage;
}

}  // namespace

int RunMap(const std::vector<std::string>& args, const Io& io) {
    return HandOver("map", args, io);
}

int RunEvidence(const std::vector<std::string>& args, const Io& io) {
    return HandOver("evidence", args, io);
}

}  // namespace droskal::cli
