// The module that sonivex-cli loads for --piano-roll and --render (see extras.h). Nothing but plain C types
// crosses its edge, and no C++ exception leaves it.
#include <cstring>
#include <exception>
#include <vector>

#include "cli/extras.h"
#include "reader/files.h"

#ifdef SONIVEX_HAVE_PIANO_ROLL
#include "reader/platform.h"
#include "app/session.h"
#include "roll/piano_roll_image.h"
#include "roll/piano_roll_song.h"
#endif
#ifdef SONIVEX_HAVE_PLAYER
#include "playback/player/audio_exporter.h"
#endif

namespace {

void Tell(const std::string& text, char* problem, std::size_t size) {
    if (problem == nullptr || size == 0) return;
    const std::size_t n = std::min(text.size(), size - 1);
    std::memcpy(problem, text.data(), n);
    problem[n] = '\0';
}

#ifdef SONIVEX_HAVE_PIANO_ROLL
int WritePianoRoll(const char* song, const unsigned char* before, std::size_t beforeSize,
                   const char* const* dataFolders, int dataFolderCount, int width, int height, const char* target,
                   char* problem, std::size_t problemSize) {
    try {
        const std::optional<sonivex::Bytes> now = sonivex::ReadWholeFile(song);
        if (!now) {
            Tell(std::string(song) + " could not be read", problem, problemSize);
            return 1;
        }
        sonivex::Folders folders;
        for (int i = 0; i < dataFolderCount; ++i) folders.data.emplace_back(dataFolders[i]);
        sonivex::SilentPlatform platform;  // the names come from genmidi.ini only; nothing is shown
        sonivex::Session session(platform, folders);
        const sonivex::Bytes previous = before != nullptr ? sonivex::Bytes(before, before + beforeSize) : sonivex::Bytes{};
        sonivex::PianoRollModel model;
        sonivex::LoadPianoRoll(session, *now, before != nullptr ? &previous : nullptr, model);
        const std::string written = sonivex::WritePianoRollPng(model, width, height, target);
        Tell(written, problem, problemSize);
        return written.empty() ? 0 : 1;
    } catch (const std::exception& e) {
        Tell(std::string(target) + " could not be drawn: " + e.what(), problem, problemSize);
        return 1;
    }
}
#endif

#ifdef SONIVEX_HAVE_PLAYER
int RenderAudio(const char* song, const char* target, double* seconds, char* problem, std::size_t problemSize) {
    try {
        const sonivex::ExportResult result = sonivex::MakeAudioExporter()->Export(song, target, {});
        if (seconds != nullptr) *seconds = result.seconds;
        Tell(result.problem, problem, problemSize);
        return result.status == sonivex::ExportStatus::Written ? 0 : 1;
    } catch (const std::exception& e) {
        Tell(std::string("could not be written: ") + e.what(), problem, problemSize);
        return 1;
    }
}
#endif

SonivexCliExtras MakeExtras() {
    SonivexCliExtras extras{};
#ifdef SONIVEX_HAVE_PIANO_ROLL
    extras.writePianoRoll = &WritePianoRoll;
#endif
#ifdef SONIVEX_HAVE_PLAYER
    extras.renderAudio = &RenderAudio;
#endif
    return extras;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) const SonivexCliExtras* SonivexGetCliExtras() {
    static const SonivexCliExtras extras = MakeExtras();  // constant once made
    return &extras;
}
