#include "evidence/ClipWriter.h"

#include <dlfcn.h>
#include <unistd.h>

#include <filesystem>
#include <mutex>
#include <string>
#include <system_error>
#include <vector>

namespace droskal::evidence {

namespace {

// Where the module is: beside an installed program (the library folder relative to the
// programs' folder, as installed) or in the build tree the program was built in.
std::vector<std::string> ModuleCandidates() {
    std::vector<std::string> paths;
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        paths.push_back((self.parent_path() / DROSKAL_CLIP_FROM_BINDIR).lexically_normal());
    }
    paths.emplace_back(DROSKAL_CLIP_IN_BUILD_TREE);
    return paths;
}

}  // namespace

// Loaded once per process and kept: libav's libraries are not meant to be unloaded.
const ClipModule* LoadClipModule(std::string& error) {
    static const ClipModule* module = nullptr;
    static std::string failure;
    static std::once_flag once;
    std::call_once(once, [] {
        std::string reasons;
        for (const std::string& path : ModuleCandidates()) {
            if (access(path.c_str(), F_OK) != 0) continue;
            void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
            if (!handle) {
                reasons += std::string(reasons.empty() ? "" : "; ") + dlerror();
                continue;
            }
            const auto entry = reinterpret_cast<ClipModuleEntry>(dlsym(handle, kClipModuleEntry));
            if (entry && (module = entry()) != nullptr) return;
            reasons += std::string(reasons.empty() ? "" : "; ") + path + " has no encoder entry";
        }
        failure = "cannot load the clip encoder module libdroskal_clip.so" +
                  (reasons.empty() ? std::string(" (not installed)") : ": " + reasons);
    });
    if (!module) error = failure;
    return module;
}

PictureRate PictureRateFromCode(int code) {
    static const PictureRate kRates[] = {{0, 0},  {24000, 1001}, {24, 1},
                                         {25, 1}, {30000, 1001}, {30, 1},
                                         {50, 1}, {60000, 1001}, {60, 1}};
    if (code < 1 || code > 8) return {0, 0};
    return kRates[code];
}

ClipWriter::ClipWriter() = default;
ClipWriter::~ClipWriter() = default;

bool ClipWriter::open(PackOutput& out, int width, int height, PictureRate rate,
                      std::string& error) {
    const ClipModule* module = LoadClipModule(error);
    if (!module) return false;
    encoder_.reset(module->makeEncoder());
    return encoder_->open(out, width, height, rate, encoderName_, error);
}

bool ClipWriter::addPicture(const Yuv420& picture, std::string& error) {
    return encoder_->addPicture(picture, error);
}

bool ClipWriter::finish(std::string& error) {
    return encoder_->finish(error);
}

}  // namespace droskal::evidence
