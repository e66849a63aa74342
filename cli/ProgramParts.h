#pragma once

// Parts of the program that live in files of their own and are only started or loaded when
// a command needs them, so that the libraries they bring are loaded only then. They are
// installed in the library folder's droskal/ folder, which holds the private programs too. A
// part is looked for from the installed programs' folder (its path relative to it, as
// installed), then beside the running program (a private program's own folder), then in the
// build tree the program was built in.

#include <string>

namespace droskal::cli {

// The path of the part, or empty with `error` set when neither place has it.
std::string FindProgramPart(const char* fromBindir, const char* inBuildTree, std::string& error);

}  // namespace droskal::cli
