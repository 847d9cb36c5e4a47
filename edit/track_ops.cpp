// "Drum<>Melody" and "Copy Track": decode the chosen track, let the writer move or copy it, analyse again.
#include "edit_commands.h"

#include "reader/parse.h"
#include "report/report.h"
#include "writer.h"

namespace sonivex {

bool TrackCommand::Prepare(EditSession& s) {
    SongModel& m = s.song;
    m.CurrentTrack = track_;
    if (!RunGuarded(s, [&] { ParseTrack(s); })) return false;
    if (!m.FirstChannelEventPos) {
        s.Message("No notes in track!");
        return false;
    }
    return true;
}

void TrackCommand::Apply(EditSession& s) {
    // A track whose decoding an error stopped is not rebuilt: its records end where the error stood.
    if (s.song.TrackComplete) RunGuarded(s, [&] { RewriteTrack(s, Mode()); });
    BuildReport(s);
}

}  // namespace sonivex
