#include "cli/Input.h"

#include <cstring>
#include <filesystem>

#include "cli/OutputFile.h"
#include "recording/Trips.h"

namespace droskal::cli {

bool InputFiles(const std::string& input, const ParsedArgs& args, std::vector<std::string>& files,
                std::string& error) {
    files.clear();
    std::error_code ec;
    if (!std::filesystem::is_directory(input, ec)) {
        if (args.has(kTripOption)) {
            error = "--trip needs a folder, not a file";
            return false;
        }
        files.push_back(input);
        return true;
    }
    std::int64_t tripNumber = 0;
    if (args.has(kTripOption) &&
        (!ParseCount(args.value(kTripOption, ""), tripNumber) || tripNumber < 1)) {
        error = "--trip needs a trip number from 1";
        return false;
    }
    std::vector<Trip> trips;
    int err = 0;
    if (!FolderTrips(input, kDefaultTripGapSeconds, trips, err)) {
        error = input + ": " + std::strerror(err);
        return false;
    }
    if (trips.empty()) {
        error = input + ": no recordings (*.m1v) in this folder";
        return false;
    }
    if (tripNumber > static_cast<std::int64_t>(trips.size())) {
        error = input + ": has " + std::to_string(trips.size()) + " trips, not " +
                std::to_string(tripNumber);
        return false;
    }
    for (std::size_t i = 0; i < trips.size(); ++i) {
        if (tripNumber != 0 && static_cast<std::int64_t>(i) + 1 != tripNumber) continue;
        for (const auto& path : trips[i].paths()) files.push_back(path);
    }
    return true;
}

bool OpenInput(Walker& walker, const std::string& input, const ParsedArgs& args,
               std::vector<std::string>& files, std::string& error) {
    if (!InputFiles(input, args, files, error)) return false;
    int err = 0;
    if (walker.open(files, err)) return true;
    if (err == 0) {
        error = files[0] + ": not a recording: no 640x480 or 320x240 sequence header at its start";
    } else if (IsNotFound(err)) {
        error = files[0] + ": file not found (or not a regular file)";
    } else {
        error = files[0] + ": " + std::strerror(err);
    }
    return false;
}

bool WritesOverInput(const std::vector<std::string>& files, const std::string& output) {
    for (const auto& f : files) {
        if (SameFile(f, output)) return true;
    }
    return false;
}

}  // namespace droskal::cli
