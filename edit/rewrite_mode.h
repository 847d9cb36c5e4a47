#pragma once

namespace sonivex {

// What the writer does to the track it rebuilds, by the editing command that runs it.
enum class RewriteMode {
    SubstituteDrums,   // drum notes follow the style's drum note map
    SwitchDrumMelody,  // the track moves between the drum channel and a free melody channel
    CopyTrack,         // the track is copied, on a free channel, as a new last track
    Effects,           // the records as the effects changed them
};

}  // namespace sonivex
