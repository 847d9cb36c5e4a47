// The module that sonivex-cli loads for --piano-roll and --render (see extras.h).
#include "cli/extras.h"

#ifdef SONIVEX_HAVE_PIANO_ROLL
#include "roll/piano_roll_image.h"
#endif
#ifdef SONIVEX_HAVE_PLAYER
#include "playback/player/audio_exporter.h"
#endif

namespace {

#ifdef SONIVEX_HAVE_PLAYER
sonivex::AudioExporter* MakeExporter() { return sonivex::MakeAudioExporter().release(); }
#endif

sonivex::CliExtras MakeExtras() {
    sonivex::CliExtras extras;
#ifdef SONIVEX_HAVE_PIANO_ROLL
    extras.writePianoRoll = &sonivex::WritePianoRollPng;
#endif
#ifdef SONIVEX_HAVE_PLAYER
    extras.makeAudioExporter = &MakeExporter;
#endif
    return extras;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) const sonivex::CliExtras* SonivexCliExtras() {
    static const sonivex::CliExtras extras = MakeExtras();  // constant once made
    return &extras;
}
