// The parts of sonivex-cli that need Qt or FluidSynth (the piano-roll picture and the audio export) live in a
// module of their own, which the tool loads only when a command asks for one of them: every other run starts
// without those libraries. The module is called through plain C types only, so the tool and the module may
// each carry their own C++ runtime.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

extern "C" {

// What the module offers; a part that the module was built without is null. Each function writes the reason
// for a failure into `problem` (of `problemSize` bytes, always ended by a 0 byte).
struct SonivexCliExtras {
    // Draws the piano roll of the song file `song` at width x height into the PNG file `target`, outlining
    // what changed since the song `before` (`beforeSize` bytes; null for none). Drum lanes and instruments
    // are named from the genmidi.ini of the first of `dataFolders` (`dataFolderCount` of them) that holds one.
    // Returns 0 when the picture was written.
    int (*writePianoRoll)(const char* song, const unsigned char* before, std::size_t beforeSize,
                          const char* const* dataFolders, int dataFolderCount, int width, int height,
                          const char* target, char* problem, std::size_t problemSize);
    // Renders the song file `song` into the sound file `target` (its extension names the format). Returns 0
    // when it was written (`seconds` then holds its length), 1 when it failed.
    int (*renderAudio)(const char* song, const char* target, double* seconds, char* problem,
                       std::size_t problemSize);
};

}  // extern "C"

namespace sonivex {

// The module's file name, and the name of its one entry point: `const SonivexCliExtras* SonivexCliExtras()`.
inline constexpr const char* kCliExtrasFile = "libsonivex-cli-extras.so";
inline constexpr const char* kCliExtrasEntry = "SonivexGetCliExtras";

// Loads the module from the tool's own folder (the build tree) or from the library folder of the install
// (`relativeFolder` from the tool's folder), once; later calls return the same. Null, with the reason in
// `problem`, when it cannot be loaded. The module stays loaded until the program ends.
const SonivexCliExtras* LoadCliExtras(const std::filesystem::path& toolFolder, const std::string& relativeFolder,
                                      std::string& problem);

}  // namespace sonivex
