#pragma once

#include <string>

#include "cli/Commands.h"

namespace droskal::cli {

// Prints "droskal-cli CMD: message" and the command's usage line; returns kExitUsage.
inline int UsageError(const Io& io, const char* command, const std::string& message,
                      const char* usage) {
    io.err << "droskal-cli " << command << ": " << message << "\n" << usage;
    return kExitUsage;
}

inline int FileError(const Io& io, const char* command, const std::string& message) {
    io.err << "droskal-cli " << command << ": " << message << "\n";
    return kExitUsage;
}

}  // namespace droskal::cli
