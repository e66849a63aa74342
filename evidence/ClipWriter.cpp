#include "evidence/ClipWriter.h"

#include <dlfcn.h>

#include <mutex>
#include <string>

#include "cli/ProgramParts.h"

namespace droskal::evidence {

// Loaded once per process and kept: libav's libraries are not meant to be unloaded.
const ClipModule* LoadClipModule(std::string& error) {
    static const ClipModule* module = nullptr;
    static std::string failure;
    static std::once_flag once;
    std::call_once(once, [] {
        const std::string path =
            cli::FindProgramPart(DROSKAL_CLIP_FROM_BINDIR, DROSKAL_CLIP_IN_BUILD_TREE, failure);
        if (path.empty()) return;
        void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            failure = dlerror();
            return;
        }
        const auto entry = reinterpret_cast<ClipModuleEntry>(dlsym(handle, kClipModuleEntry));
        if (entry) module = entry();
        if (!module) failure = path + " has no clip encoder";
    });
    if (!module) error = "cannot load the clip encoder: " + failure;
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
