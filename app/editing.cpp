#include "editing.h"

#include "app/undo_redo.h"
#include "playback/media.h"

namespace sonivex {

namespace {

void OfferSave(FormModel& f) { f.mnuSave.enabled = f.SaveButton.enabled = true; }

// An edit of the Edit menu, kept for Undo; the song's clock is read again after it, as after every edit.
bool RunKeptEdit(Session& s, EditingCommand& command) {
    const bool changed = RunRecordedEdit(s, [&] { RunEditingCommand(s, command); });
    if (changed) s.form.UnsavedChanges = true;
    s.form.Clock.known = false;
    return changed;
}

}  // namespace

void RunEditingCommand(Session& s, EditingCommand& command) {
    s.platform.SetBusy(true);
    if (!command.Prepare(s)) {
        s.platform.SetBusy(false);
        return;
    }
    MediaClose(s.media, kMediaAlias);
    command.Apply(s);
    ShowReport(s);
    ReopenMedia(s);
    OfferSave(s.form);
    s.platform.SetBusy(false);
}

void ApplyStyle(Session& s) {
    const FormModel& f = s.form;
    if (f.Combo1.listIndex < 0) return;
    StyleCommand command(
        StyleRequest{f.Combo1.Selected(), f.Combo2.listIndex, f.Combo3.listIndex, f.Check1.ticked, f.Check2.ticked});
    RunEditingCommand(s, command);
}

void SwitchDrumMelody(Session& s) {
    if (s.form.Combo4.listIndex < 0) return;
    TrackCommand command(TrackOperation::SwitchDrumMelody, s.form.Combo4.listIndex + 1);
    RunEditingCommand(s, command);
}

void CopyTrack(Session& s) {
    if (s.form.Combo5.listIndex < 0) return;
    TrackCommand command(TrackOperation::CopyTrack, s.form.Combo5.listIndex + 1);
    RunEditingCommand(s, command);
}

void ApplyEffect(Session& s) {
    const FormModel& f = s.form;
    if (f.Combo6.listIndex < 0) return;
    EffectRequest request;
    request.effect = f.Combo6.Selected();
    request.notes = f.Option1.selected;
    request.step = f.Text1.text;
    request.value = f.Text2.text;
    request.pitchClass = f.Combo7.listIndex;
    request.key = f.Combo9.listIndex;
    request.trebleClef = f.Check6.ticked;
    request.bassClef = f.Check5.ticked;
    request.minorStep = f.Combo10.listIndex;
    request.onlyTrack = f.Combo8.listIndex;
    request.melodyTracks = f.Check3.ticked;
    request.drumTracks = f.Check4.ticked;
    EffectCommand command(request);
    RunEditingCommand(s, command);
}

bool TransposeSong(Session& s, const TransposeRequest& request) {
    PatchCommand command(request);
    return RunKeptEdit(s, command);
}

bool ChangeTempo(Session& s, const TempoRequest& request) {
    PatchCommand command(request);
    return RunKeptEdit(s, command);
}

bool ChooseInstrument(Session& s, const InstrumentRequest& request) {
    PatchCommand command(request);
    return RunKeptEdit(s, command);
}

void ShowReport(Session& s) {
    s.form.RichTextBox1 = s.report.PaneText;
    if (s.song.RepairedForSave) OfferSave(s.form);
    s.song.RepairedForSave = false;
}

void OpenForPlayback(Session& s, const std::string& path) {
    MediaOpen(s.media, path, kMediaAlias, s.folders.work);
    s.app.LetEventsRun();
    const WindowRect frame = s.app.MediaWindowRect();
    MediaPlaceWindow(s.media, kMediaAlias, 0, 0, frame.right - frame.left, frame.bottom - frame.top);
}

void ReopenMedia(Session& s) {
    UpdateSilencedTracks(s);  // the edit may have added a track, which a solo leaves silent
    OpenForPlayback(s, s.WorkFile(s.song.TempFileName).string());
}

}  // namespace sonivex
