// "Drum<>Melody" and "Copy Track": decode the chosen track, let the writer move or copy it, analyse again.
#include "edit_commands.h"

#include "playback/media.h"
#include "reader/parse.h"
#include "report/report.h"
#include "writer.h"

namespace sonivex {

namespace {

void RunTrackOperation(Session& s, const char* mode, const ListControl& trackList) {
    SongModel& m = s.song;
    if (trackList.listIndex < 0) return;
    s.platform.SetBusy(true);
    m.EditMode = mode;
    m.CurrentTrack = trackList.listIndex + 1;
    if (!RunGuarded(s, [&] { ParseTrack(s); })) return;
    if (m.FirstChannelEventPos == -1) {
        s.Message("No notes in track!");
        return;
    }
    MediaClose(s, kMediaAlias);
    // A track whose decoding an error stopped is not rebuilt: its records end where the error stood.
    if (m.TrackComplete) RunGuarded(s, [&] { RewriteTrack(s); });
    BuildReport(s);
    ReopenMedia(s);
    s.form.mnuSave.enabled = s.form.SaveButton.enabled = true;
    s.platform.SetBusy(false);
}

}  // namespace

void ReopenMedia(Session& s) {
    std::string path = s.WorkFile(s.song.TempFileName).string();
    MediaOpen(s, path, kMediaAlias);
    s.platform.LetEventsRun();
    MediaPlaceWindow(s, kMediaAlias, 0, 0, 0, 0);
}

void SwitchDrumMelody(Session& s) { RunTrackOperation(s, "d", s.form.Combo4); }

void CopyTrack(Session& s) { RunTrackOperation(s, "c", s.form.Combo5); }

}  // namespace sonivex
