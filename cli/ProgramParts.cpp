#include "cli/ProgramParts.h"

#include <unistd.h>

#include <filesystem>
#include <system_error>

namespace droskal::cli {

std::string FindProgramPart(const char* fromBindir, const char* inBuildTree, std::string& error) {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        const std::filesystem::path relative(fromBindir);
        for (const std::filesystem::path& at :
             {self.parent_path() / relative, self.parent_path() / relative.filename()}) {
            const std::string installed = at.lexically_normal();
            if (access(installed.c_str(), F_OK) == 0) return installed;
        }
    }
    if (access(inBuildTree, F_OK) == 0) return inBuildTree;
    error = std::filesystem::path(fromBindir).filename().string() +
            " is not installed beside this program";
    return {};
}

}  // namespace droskal::cli
