// What the core tests share beyond the recording builders of tests/support: the peer-encoded
// fixtures, an observer that counts what the searches report, and droskal-cli run in-process.
#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/Commands.h"
#include "stream/Searches.h"
#include "tests/support/TestSupport.h"

namespace droskal::test {

inline std::string Fixture(const std::string& name) {
    return std::string(DROSKAL_TEST_DATA) + "/fixtures/" + name;
}

// Counts the reports.
struct CountingObserver final : StreamObserver {
    void SetPlayCounter(bool reset) override {
        EXPECT_FALSE(reset);
        ++counters;
    }
    void ShowNmea() override { ++sentences; }

    int counters = 0;
    int sentences = 0;
};

struct CliRun {
    int status;
    std::string out, err;
};

inline CliRun Cli(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int status = cli::RunCli(args, {out, err, false});
    return {status, out.str(), err.str()};
}

}  // namespace droskal::test
