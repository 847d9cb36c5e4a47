#include <dlfcn.h>

#include "cli/extras.h"

namespace sonivex {

const SonivexCliExtras* LoadCliExtras(const std::filesystem::path& toolFolder, const std::string& relativeFolder,
                               std::string& problem) {
    std::string reasons;
    for (const std::filesystem::path& folder : {toolFolder, (toolFolder / relativeFolder).lexically_normal()}) {
        const std::filesystem::path file = folder / kCliExtrasFile;
        std::error_code ec;
        if (!std::filesystem::exists(file, ec)) continue;
        // RTLD_NOLOAD first: a module already loaded is used again. It is never unloaded: Qt's and FluidSynth's
        // own clean-up at exit must find their code in place.
        void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
        if (handle == nullptr) handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            const char* error = dlerror();
            reasons = error != nullptr ? error : file.string() + " could not be loaded";
            continue;
        }
        using Entry = const SonivexCliExtras* (*)();
        const auto entry = reinterpret_cast<Entry>(dlsym(handle, kCliExtrasEntry));
        if (entry != nullptr) return entry();
        reasons = file.string() + " has no entry point";
    }
    problem = reasons.empty() ? std::string(kCliExtrasFile) + " was not found beside sonivex-cli" : reasons;
    return nullptr;
}

}  // namespace sonivex
