#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace droskal::cli {

struct ParsedArgs {
    std::vector<std::string> positional;
    std::map<std::string, std::string> values;  // options that take a value
    bool help = false;

    bool has(const std::string& name) const { return values.count(name) != 0; }
    std::string value(const std::string& name, const std::string& fallback) const {
        const auto it = values.find(name);
        return it == values.end() ? fallback : it->second;
    }
};

// Options are "--name value", "--name=value" or a short alias; flags take no value.
// "--" ends the options, so a file may be called "--from".
bool ParseArgs(const std::vector<std::string>& args, const std::set<std::string>& valueOptions,
               const std::set<std::string>& flags, ParsedArgs& parsed, std::string& error);

// Whole decimal numbers only: "12abc" or "-1" is a usage error, not 12 or a huge count.
bool ParseCount(const std::string& text, std::int64_t& value);
bool ParsePositiveNumber(const std::string& text, double& value);

}  // namespace droskal::cli
