#include <map>

#include "Version.h"
#include "cli/Commands.h"

namespace droskal::cli {

namespace {

const char* const kUsage =
    "usage: droskal-cli COMMAND [options]\n"
    "\n"
    "commands:\n"
    "  frames FILE OUT   export pictures as BMP, PNG or raw yuv420p\n"
    "  info FILE         format, pictures, GPS times, distance and speeds\n"
    "  track FILE        GPS track as GPX, KML or CSV\n"
    "  cut FILE OUT      save pictures --from A --to B as a new recording\n"
    "  bench FILE        decoding speed in memory\n"
    "  map REC -o PNG    the whole route over a map, with a world file\n"
    "  trips DIR         the recordings of a folder grouped into drives\n"
    "  evidence FILE OUTDIR  pictures --from A --to B as a checkable evidence folder\n"
    "  index PATH...     the drives of many folders, by date, place or speed\n"
    "\n"
    "FILE may also be a folder of recordings: --trip N reads its Nth trip, without it all\n"
    "of them in trip order as one stream.\n"
    "\n"
    "droskal-cli COMMAND --help shows a command's options.\n"
    "droskal-cli --version prints the version.\n"
    "Exit status: 0 done, 1 some pictures skipped, 2 usage or file error.\n";

}  // namespace

int RunCli(const std::vector<std::string>& args, const Io& io) {
    static const std::map<std::string, int (*)(const std::vector<std::string>&, const Io&)>
        kCommands = {{"frames", RunFrames}, {"info", RunInfo},         {"track", RunTrack},
                     {"cut", RunCut},       {"bench", RunBench},       {"map", RunMap},
                     {"trips", RunTrips},   {"evidence", RunEvidence}, {"index", RunIndex}};
    if (args.empty()) {
        io.err << kUsage;
        return kExitUsage;
    }
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        io.out << kUsage;
        return kExitOk;
    }
    if (args[0] == "--version") {
        io.out << "droskal-cli " << kDroskalVersion << "\n";
        return kExitOk;
    }
    const auto it = kCommands.find(args[0]);
    if (it == kCommands.end()) {
        io.err << "droskal-cli: unknown command '" << args[0] << "'\n\n" << kUsage;
        return kExitUsage;
    }
    return it->second(std::vector<std::string>(args.begin() + 1, args.end()), io);
}

}  // namespace droskal::cli
