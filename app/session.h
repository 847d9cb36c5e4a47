// The session of the window's commands: everything below it (the song model, the report, the effect
// settings), the window's controls as plain data, the media channel, the undo history, the recent songs and
// the tracks' mute and solo.
// Every command takes it by reference, so a test or a batch run makes a fresh one.
#pragma once

#include <filesystem>

#include "app/app_platform.h"
#include "app/form.h"
#include "app/history.h"
#include "app/recent_songs.h"
#include "app/track_mix.h"
#include "edit/edit_session.h"
#include "playback/media.h"

namespace sonivex {

struct Session : EditSession {
    Session(AppPlatform& platform, Folders folders) : EditSession(platform, std::move(folders)), app(platform) {}
    Session(AppPlatform& platform, const std::filesystem::path& programFolder)
        : Session(platform, Folders::InOne(programFolder)) {}

    AppPlatform& app;  // the front end's dialogs, progress and media frame (`platform` is the same object)

    FormModel form;
    MediaState media;
    EditHistory history;  // the working copies for Undo and Redo
    RecentSongs recent;   // the songs opened last, newest first
    TrackMix mix;         // the track list's mute and solo, for this song only
};

}  // namespace sonivex
