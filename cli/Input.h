#pragma once

#include <string>
#include <vector>

#include "cli/Args.h"
#include "recording/Walker.h"

namespace droskal::cli {

// The option every command that reads recordings takes, for a folder given as FILE.
inline const char* const kTripOption = "--trip";
inline const char* const kFolderUsage =
    "  FILE may be a folder: --trip N (from 1, in time order) reads the Nth trip of its *.m1v\n"
    "  recordings, without it all of them in trip order as one stream.\n";

// The files FILE stands for: itself, or the recordings of a folder (one trip with --trip N,
// all trips in order without). False with a message when the folder holds none or N is wrong.
bool InputFiles(const std::string& input, const ParsedArgs& args, std::vector<std::string>& files,
                std::string& error);

// InputFiles, then opens them as one stream; false with a message for the user.
bool OpenInput(Walker& walker, const std::string& input, const ParsedArgs& args,
               std::vector<std::string>& files, std::string& error);

// True when `output` is one of the files read.
bool WritesOverInput(const std::vector<std::string>& files, const std::string& output);

}  // namespace droskal::cli
