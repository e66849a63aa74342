// The commands of droskal-cli that need Qt: handed over to droskal-cli-full, the whole command
// set. Loading Qt Core and what it brings (ICU, GLib, a dozen libraries) costs about 5 ms of
// CPU at every start, Qt Gui another 10, as much as decoding dozens of pictures; info, track,
// trips and index read times in zones (QTimeZone) or write XML, map and evidence draw. So
// droskal-cli itself runs frames, cut and bench without them.

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
        FindProgramPart(DROSKAL_CLI_FULL_FROM_BINDIR, DROSKAL_CLI_FULL_IN_BUILD_TREE, error);
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

int RunInfo(const std::vector<std::string>& args, const Io& io) {
    return HandOver("info", args, io);
}

int RunTrack(const std::vector<std::string>& args, const Io& io) {
    return HandOver("track", args, io);
}

int RunTrips(const std::vector<std::string>& args, const Io& io) {
    return HandOver("trips", args, io);
}

int RunIndex(const std::vector<std::string>& args, const Io& io) {
    return HandOver("index", args, io);
}

int RunMap(const std::vector<std::string>& args, const Io& io) {
    return HandOver("map", args, io);
}

int RunEvidence(const std::vector<std::string>& args, const Io& io) {
    return HandOver("evidence", args, io);
}

}  // namespace droskal::cli
