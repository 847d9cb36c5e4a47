// The parts of sonivex-cli that need Qt or FluidSynth (the piano-roll picture and the audio export) live in a
// module of their own, which the tool loads only when a command asks for one of them: every other run starts
// without those libraries.
#pragma once

#include <filesystem>
#include <string>

#include "playback/audio_export.h"
#include "roll/piano_roll_model.h"

namespace sonivex {

// What the module offers; a part that the module was built without is null.
struct CliExtras {
    // Draws the model at width x height into a PNG file; returns "" or the reason the file was not written.
    std::string (*writePianoRoll)(const PianoRollModel& model, int width, int height, const std::string& path) =
        nullptr;
    // A new exporter that the caller owns and deletes.
    AudioExporter* (*makeAudioExporter)() = nullptr;
};

// The module's file name, and the name of its one entry point: `const CliExtras* SonivexCliExtras()`.
inline constexpr const char* kCliExtrasFile = "libsonivex-cli-extras.so";
inline constexpr const char* kCliExtrasEntry = "SonivexCliExtras";

// Loads the module from the tool's own folder (the build tree) or from the library folder of the install
// (`relativeFolder` from the tool's folder), once; later calls return the same. Null, with the reason in
// `problem`, when it cannot be loaded. The module stays loaded until the program ends.
const CliExtras* LoadCliExtras(const std::filesystem::path& toolFolder, const std::string& relativeFolder,
                               std::string& problem);

}  // namespace sonivex
