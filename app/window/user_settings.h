// The user's settings of the window: the recent songs and the playback preferences, in an INI file in the
// user's configuration folder (in DIR/Sonivex with --program-folder DIR, which main() sets up).
#pragma once

#include <QSettings>

#include "playback/playback_settings.h"

namespace sonivex {

QSettings UserSettings();

// The stored playback preferences; a setting never stored is the default (the default SoundFont, the
// built-in synthesizer).
PlaybackSettings ReadPlaybackSettings();

void StorePlaybackSettings(const PlaybackSettings& settings);

}  // namespace sonivex
